#include "core/db/ConnectionString.h"
#include "core/db/DbError.h"

#include <gtest/gtest.h>

using namespace quorix;

TEST(ConnectionString, SessionFormIsTheClassicProviderString) {
    EXPECT_EQ(
        sessionConnectionString("srv01", "pw"),
        "Provider=SQLOLEDB;Persist Security Info=True;Server=srv01;UID=sa;Database=MASTER ;Password=pw");
}

TEST(ConnectionString, PasswordRunsToTheEndWhateverItHolds) {
    const QString pw = "a;b}c{d=e;Password=x ";
    const OleDbParts p = parseOleDbConnectionString(sessionConnectionString("host\\inst", pw));
    EXPECT_EQ(p.server, "host\\inst");
    EXPECT_EQ(p.user, "sa");
    EXPECT_EQ(p.database, "MASTER");
    EXPECT_EQ(p.password, pw);
    EXPECT_EQ(parseOleDbConnectionString(sessionConnectionString("h", "")).password, "");
}

TEST(ConnectionString, FreeTdsGetsVersionAndPortForEveryAddressForm) {
    const OdbcDriver freetds{"FreeTDS", DriverKind::FreeTds};
    auto odbc = [&](const QString &server, const QString &pw) {
        return toOdbcConnectionString(parseOleDbConnectionString(sessionConnectionString(server, pw)),
                                      freetds);
    };
    EXPECT_EQ(odbc("db1", "pw"),
              "DRIVER={FreeTDS};SERVER=db1;PORT=1433;TDS_Version=7.4;UID=sa;PWD={pw};DATABASE=MASTER");
    EXPECT_EQ(odbc("127.0.0.2, 50123", "pw"),
              "DRIVER={FreeTDS};SERVER=127.0.0.2;PORT=50123;TDS_Version=7.4;UID=sa;PWD={pw};DATABASE=MASTER");
    // A named instance is found through the browser service, so no port is given.
    EXPECT_EQ(odbc("db1\\MIRROR", "pw"),
              "DRIVER={FreeTDS};SERVER=db1\\MIRROR;TDS_Version=7.4;UID=sa;PWD={pw};DATABASE=MASTER");
    EXPECT_EQ(odbc("db1\\MIRROR,1500", "pw"),
              "DRIVER={FreeTDS};SERVER=db1;PORT=1500;TDS_Version=7.4;UID=sa;PWD={pw};DATABASE=MASTER");
    // Braces keep ';' inside the value and '}' is doubled, so no attribute can be smuggled in.
    EXPECT_EQ(odbc("db1", "x};DATABASE=evil;{"),
              "DRIVER={FreeTDS};SERVER=db1;PORT=1433;TDS_Version=7.4;UID=sa;PWD={x}};DATABASE=evil;{};"
              "DATABASE=MASTER");
    // FreeTDS before 1.4 keeps a braced value as written up to the first "};".
    EXPECT_EQ(toOdbcConnectionString(parseOleDbConnectionString(sessionConnectionString("db1", "x};y}")),
                                     {"FreeTDS", DriverKind::FreeTds, false}),
              "DRIVER={FreeTDS};SERVER=db1;PORT=1433;TDS_Version=7.4;UID=sa;PWD={x};y}};DATABASE=MASTER");
    EXPECT_EQ(odbc("a;UID=other", "p"),
              "DRIVER={FreeTDS};SERVER=a;PORT=1433;TDS_Version=7.4;UID=sa;PWD={p};DATABASE=MASTER");
}

TEST(ConnectionString, ADriverThatDoesNotUndoubleGetsEveryValueAsWritten) {
    // Found by fuzzing: the server and login were doubled for a driver that reads "}}" as two braces.
    const OdbcDriver old{"FreeTDS", DriverKind::FreeTds, false};
    EXPECT_EQ(
        toOdbcConnectionString({"db}1", "s}a", "Bill}ing", "p}w"}, old),
        "DRIVER={FreeTDS};SERVER={db}1};PORT=1433;TDS_Version=7.4;UID={s}a};PWD={p}w};DATABASE={Bill}ing}");
    EXPECT_EQ(toOdbcConnectionString({"db}1\\MIRROR", "sa", "MASTER", "pw"}, old),
              "DRIVER={FreeTDS};SERVER={db}1\\MIRROR};TDS_Version=7.4;UID=sa;PWD={pw};DATABASE=MASTER");
}

TEST(ConnectionString, MicrosoftDriversTakeTheAddressAsWritten) {
    const OleDbParts p = parseOleDbConnectionString(sessionConnectionString("db1\\MIRROR", "pw"));
    EXPECT_EQ(
        toOdbcConnectionString(p, {"ODBC Driver 18 for SQL Server", DriverKind::MsOdbc}),
        "DRIVER={ODBC Driver 18 for SQL Server};SERVER=db1\\MIRROR;Encrypt=no;TrustServerCertificate=yes;"
        "UID=sa;PWD={pw};DATABASE=MASTER");
    EXPECT_EQ(toOdbcConnectionString(p, {"SQL Server", DriverKind::WindowsSqlServer}),
              "DRIVER={SQL Server};SERVER=db1\\MIRROR;UID=sa;PWD={pw};DATABASE=MASTER");
}

TEST(ConnectionString, DriverChoiceFollowsPreferenceAndOverride) {
    EXPECT_EQ(chooseDriver({"FreeTDS", "ODBC Driver 17 for SQL Server"}, "").name,
              "ODBC Driver 17 for SQL Server");
    EXPECT_EQ(chooseDriver({"SQL Server", "FreeTDS", "ODBC Driver 18 for SQL Server"}, "").name,
              "ODBC Driver 18 for SQL Server");
    EXPECT_EQ(chooseDriver({"SQL Server", "freetds"}, "").kind, DriverKind::FreeTds);
    const OdbcDriver custom = chooseDriver({"FreeTDS"}, "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so");
    EXPECT_EQ(custom.name, "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so");
    EXPECT_EQ(custom.kind, DriverKind::FreeTds);
    EXPECT_EQ(chooseDriver({}, "My SQL Server Driver").kind, DriverKind::MsOdbc);
}

TEST(DbErrorText, DescriptionIsTheFirstRecordThatIsNotAMessage) {
    DbError e({{"01000", 0, "progress"}, {"42S02", 208, "Invalid object name 'x'."}, {"42000", 1, "second"}});
    EXPECT_EQ(e.description(), "Invalid object name 'x'.");
    EXPECT_EQ(e.records().size(), 3u);
    EXPECT_EQ(DbError({{"01000", 0, "only a message"}}).description(), "only a message");
    EXPECT_EQ(DbError({}, "fallback").description(), "fallback");
}

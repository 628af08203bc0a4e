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
    EXPECT_EQ(toOdbcConnectionString(p, {"ODBC Driver 18 for SQL Server", DriverKind::MsOdbc}),
              "DRIVER={ODBC Driver 18 for SQL Server};SERVER=db1\\MIRROR;UID=sa;PWD={pw};DATABASE=MASTER");
    EXPECT_EQ(toOdbcConnectionString(p, {"SQL Server", DriverKind::WindowsSqlServer}),
              "DRIVER={SQL Server};SERVER=db1\\MIRROR;UID=sa;PWD={pw};DATABASE=MASTER");
}

TEST(ConnectionString, TheLoginBoxTakesThePlaceOfSa) {
    EXPECT_EQ(sessionConnectionString("srv01", "dba_anna", "pw"),
              "Provider=SQLOLEDB;Persist Security Info=True;Server=srv01;UID=dba_anna;Database=MASTER "
              ";Password=pw");
    EXPECT_EQ(sessionConnectionString("srv01", "sa", "pw"), sessionConnectionString("srv01", "pw"));
}

// Each encryption choice in each driver's own keywords; what a driver cannot do is refused, never weakened.
TEST(ConnectionString, EachChoiceInEachDriversKeywords) {
    const OdbcDriver freetds{"FreeTDS", DriverKind::FreeTds};
    const OdbcDriver v18{"ODBC Driver 18 for SQL Server", DriverKind::MsOdbc};
    const OdbcDriver v17{"ODBC Driver 17 for SQL Server", DriverKind::MsOdbc};
    const OdbcDriver windows{"SQL Server", DriverKind::WindowsSqlServer};
    const OleDbParts parts = parseOleDbConnectionString(sessionConnectionString("db1,1500", "dba", "pw"));
    const auto with = [](Encryption e, QString pinned = {}, bool integrated = false) {
        ConnectionOptions o;
        o.encryption = e;
        o.trustedCertificate = pinned;
        o.windowsAuthentication = integrated;
        o.workstation = "WS7";
        return o;
    };
    const QString names = ";APP=QUORIX DB Tools;WSID=WS7";
    struct Case {
        OdbcDriver driver;
        ConnectionOptions options;
        QString expected; // "refused: ..." for a refusal's start
    };
    const Case cases[] = {
        {freetds, with(Encryption::Optional),
         "DRIVER={FreeTDS};SERVER=db1;PORT=1500;TDS_Version=7.4;Encryption=request;UID=dba;PWD={pw};"
         "DATABASE=MASTER" +
             names},
        {freetds, with(Encryption::Mandatory),
         "DRIVER={FreeTDS};SERVERNAME=quorix-*;Encryption=require;UID=dba;PWD={pw};DATABASE=MASTER" + names},
        {freetds, with(Encryption::Optional, {}, true),
         "DRIVER={FreeTDS};SERVER=db1;PORT=1500;TDS_Version=7.4;Encryption=request;Trusted_Connection=yes;"
         "DATABASE=MASTER" +
             names},
        {freetds, with(Encryption::Strict), "refused: Encryption \"Strict\" (TDS 8) needs ODBC Driver 18"},
        {v18, with(Encryption::Mandatory),
         "DRIVER={ODBC Driver 18 for SQL "
         "Server};SERVER=db1,1500;Encrypt=yes;TrustServerCertificate=no;UID=dba;"
         "PWD={pw};DATABASE=MASTER" +
             names},
        {v18, with(Encryption::Optional),
         "DRIVER={ODBC Driver 18 for SQL "
         "Server};SERVER=db1,1500;Encrypt=no;TrustServerCertificate=yes;UID=dba;"
         "PWD={pw};DATABASE=MASTER" +
             names},
        {v18, with(Encryption::Strict, "C:\\certs\\db1.pem"),
         "DRIVER={ODBC Driver 18 for SQL "
         "Server};SERVER=db1,1500;Encrypt=Strict;ServerCertificate=C:\\certs\\db1.pem;"
         "UID=dba;PWD={pw};DATABASE=MASTER" +
             names},
        {v18, with(Encryption::Mandatory, "C:\\certs\\db1.pem"),
         "refused: A certificate trusted by its fingerprint"},
        {v17, with(Encryption::Strict), "refused: Encryption \"Strict\" (TDS 8) needs ODBC Driver 18"},
        {v17, with(Encryption::Mandatory, {}, true),
         "DRIVER={ODBC Driver 17 for SQL Server};SERVER=db1,1500;Encrypt=yes;TrustServerCertificate=no;"
         "Trusted_Connection=yes;DATABASE=MASTER" +
             names},
        {windows, with(Encryption::Mandatory),
         "DRIVER={SQL Server};SERVER=db1,1500;Encrypt=yes;UID=dba;PWD={pw};DATABASE=MASTER" + names},
        {windows, with(Encryption::Optional),
         "DRIVER={SQL Server};SERVER=db1,1500;UID=dba;PWD={pw};DATABASE=MASTER" + names},
    };
    for (const Case &c : cases) {
        const OdbcTranslation t = odbcConnection(parts, c.driver, c.options);
        if (c.expected.startsWith("refused: ")) {
            EXPECT_TRUE(t.connectionString.isEmpty()) << t.connectionString.toStdString();
            EXPECT_TRUE(t.refusal.startsWith(c.expected.mid(9))) << t.refusal.toStdString();
            continue;
        }
        EXPECT_TRUE(t.refusal.isEmpty()) << t.refusal.toStdString();
        QString got = t.connectionString;
        if (!t.section.name.isEmpty())
            got.replace(t.section.name, "quorix-*");
        EXPECT_EQ(got, c.expected) << c.driver.name.toStdString();
    }
}

TEST(ConnectionString, MandatoryFreeTdsNamesASectionThatChecksTheCertificate) {
    const OdbcDriver freetds{"FreeTDS", DriverKind::FreeTds};
    ConnectionOptions o; // Mandatory
    const auto section = [&](const QString &server) {
        return odbcConnection(parseOleDbConnectionString(sessionConnectionString(server, "pw")), freetds, o)
            .section;
    };
    const FreeTdsSection plain = section("db1");
    EXPECT_TRUE(plain.name.startsWith("quorix-"));
    EXPECT_EQ(plain.body, "[" + plain.name +
                              "]\n\thost = db1\n\tport = 1433\n\ttds version = 7.4\n\tencryption = require\n"
                              "\tca file = system\n\tcheck certificate hostname = yes\n");
    EXPECT_TRUE(section("db1\\MIRROR").body.contains("\tinstance = MIRROR\n"));
    o.trustedCertificate = "/home/dba/.config/quorix-dbtools/trusted-certificates/db1.pem";
    const FreeTdsSection pinned = section("db1");
    EXPECT_NE(pinned.name, plain.name); // another check, another section
    EXPECT_TRUE(pinned.body.contains("\tca file = " + o.trustedCertificate +
                                     "\n\tcheck certificate hostname = no\n"));
    // A server box can never write its own lines into the driver's configuration.
    for (const QString &bad : {QString("db1\n\tca file = /tmp/evil.pem"), QString("db1]x"), QString("db1#x")})
        EXPECT_FALSE(
            odbcConnection(parseOleDbConnectionString(sessionConnectionString(bad, "pw")), freetds, o)
                .refusal.isEmpty())
            << bad.toStdString();
    EXPECT_EQ(
        odbcConnection(parseOleDbConnectionString(sessionConnectionString("", "pw")), freetds, o).refusal,
        "No server is named: type the server's name into its box.");
}

// Only a driver that can be handed the one certificate to accept is offered it for trust; the others are
// told where the certificate goes instead, in the store of the machine they run on.
TEST(ConnectionString, OnlyADriverThatCanHoldToOneCertificateIsOfferedIt) {
    const OdbcDriver freetds{"FreeTDS", DriverKind::FreeTds};
    const OdbcDriver v18{"ODBC Driver 18 for SQL Server", DriverKind::MsOdbc};
    const OdbcDriver v17{"ODBC Driver 17 for SQL Server", DriverKind::MsOdbc};
    const OdbcDriver windows{"SQL Server", DriverKind::WindowsSqlServer};
    struct Case {
        OdbcDriver driver;
        Encryption encryption;
        bool holds;
    };
    const Case cases[] = {
        {freetds, Encryption::Mandatory, true},  {v18, Encryption::Strict, true},
        {v18, Encryption::Mandatory, false},     {v17, Encryption::Mandatory, false},
        {windows, Encryption::Mandatory, false}, {windows, Encryption::Strict, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(canHoldToCertificate(c.driver, c.encryption), c.holds)
            << c.driver.name.toStdString() << " " << encryptionName(c.encryption).toStdString();

    EXPECT_EQ(
        installCertificateAdvice("db1", v17, Encryption::Mandatory, false),
        "The driver \"ODBC Driver 17 for SQL Server\" cannot be told to accept this one certificate, so "
        "nothing was kept for db1: install the server's certificate (or the authority that issued it) "
        "into the system's trust store of this machine, then connect again.");
    EXPECT_EQ(installCertificateAdvice("db1", windows, Encryption::Mandatory, true),
              "The driver \"SQL Server\" cannot be told to accept this one certificate, so nothing was kept "
              "for db1: install the server's certificate (or the authority that issued it) into the Windows "
              "certificate store of this machine, then connect again.");
    EXPECT_TRUE(installCertificateAdvice("db1", v18, Encryption::Mandatory, true)
                    .endsWith(" With SQL Server 2022 or later, choose \"Strict\" for it instead: then this "
                              "one certificate can be trusted here."));
}

// An empty Login box without Windows authentication is refused before anything is sent: FreeTDS would
// otherwise try its integrated login unasked.
TEST(ConnectionString, AnEmptyLoginWithoutWindowsAuthenticationIsRefused) {
    const OdbcDriver freetds{"FreeTDS", DriverKind::FreeTds};
    const OdbcDriver v18{"ODBC Driver 18 for SQL Server", DriverKind::MsOdbc};
    for (const QString &login : {QString(""), QString("   ")})
        for (const OdbcDriver &driver : {freetds, v18})
            for (const Encryption e : {Encryption::Mandatory, Encryption::Optional}) {
                ConnectionOptions o;
                o.encryption = e;
                const OleDbParts parts =
                    parseOleDbConnectionString(sessionConnectionString("db1,1500", login, "pw"));
                const OdbcTranslation t = odbcConnection(parts, driver, o);
                EXPECT_TRUE(t.connectionString.isEmpty()) << t.connectionString.toStdString();
                EXPECT_EQ(t.refusal, "No login is given for db1,1500: type one into its Login box, or tick "
                                     "\"Windows authentication\" for it. Nothing was sent to the server.");
                o.windowsAuthentication = true;
                EXPECT_TRUE(odbcConnection(parts, driver, o).refusal.isEmpty());
            }
}

TEST(ConnectionString, APasswordIsMaskedForPrintsToTheEndOfTheText) {
    const std::pair<QString, QString> cases[] = {
        {"Provider=SQLOLEDB;Server=db1;UID=sa;Database=MASTER;Password=garden@584",
         "Provider=SQLOLEDB;Server=db1;UID=sa;Database=MASTER;Password=********"},
        {"Server=db1; pwd =a;b=c", "Server=db1; pwd =********"},
        {"Server=db1;UID=sa;Password=", "Server=db1;UID=sa;Password="},
        {"Server=db1;UID=sa", "Server=db1;UID=sa"},
    };
    for (const auto &[text, masked] : cases)
        EXPECT_EQ(maskOleDbPassword(text), masked) << text.toStdString();
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

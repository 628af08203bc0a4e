#pragma once

// The sessions' connection string as the user sees it (the OLE DB form the window builds) and its
// translation for the SQL Server ODBC driver found on the machine.

#include "core/db/ConnectionTarget.h"

#include <QString>
#include <QStringList>

namespace quorix {

// "Provider=SQLOLEDB;Persist Security Info=True;Server=" + server + ";UID=" + login + ";Database=MASTER " +
// ";Password=" + password. The login is the server's login box ("sa" unless the DBA set another).
QString sessionConnectionString(const QString &server, const QString &login, const QString &password);
inline QString sessionConnectionString(const QString &server, const QString &password) {
    return sessionConnectionString(server, QStringLiteral("sa"), password);
}

struct OleDbParts {
    QString server;
    QString user;
    QString database;
    QString password;
};

// Reads key=value items separated by ';' (keys case-insensitive, values trimmed). The password item takes
// everything after "Password=" to the end of the string, since the window appends it last and unquoted.
OleDbParts parseOleDbConnectionString(const QString &text);
// The same text with that password shown as ******** (for prints and screenshots); unchanged with none.
QString maskOleDbPassword(const QString &text);

enum class DriverKind { MsOdbc, FreeTds, WindowsSqlServer };

struct OdbcDriver {
    QString name; // as the driver manager knows it, or a library path
    DriverKind kind = DriverKind::FreeTds;
    // How the driver reads a braced value: the ODBC rule ends it at a single '}' and reads "}}" as one;
    // FreeTDS before 1.4 ends it at the first "};" and keeps everything before that as written.
    bool doublesBraces = true;
};

// The driver to use: overrideName when not empty (QUORIX_ODBC_DRIVER), else the first of "ODBC Driver 18
// for SQL Server", "ODBC Driver 17 for SQL Server", "FreeTDS", "SQL Server" that is installed.
OdbcDriver chooseDriver(const QStringList &installed, const QString &overrideName);
DriverKind driverKindOf(const QString &name);

struct ServerAddress {
    QString host;
    QString instance; // after a backslash
    int port = 0;     // after a comma; 0 when not given
};
ServerAddress parseServerAddress(const QString &server);

// The TCP port of the mirroring endpoints the certificate scripts create: Set Partner names it, and the
// Status tab compares each side's partner with it.
inline constexpr int kMirroringPort = 5024;

// An ODBC attribute value: braced when it holds characters that would end or open one, with '}' doubled
// (or, for a driver that does not undouble, as written: such a value must not contain "};").
QString odbcValue(const QString &value, bool alwaysBrace = false, bool doublesBraces = true);

// The driver's string with no say on encryption (each driver's default) and no names: what the tests and
// benchmarks use against the scripted server.
QString toOdbcConnectionString(const OleDbParts &parts, const OdbcDriver &driver);

// A FreeTDS connection whose certificate is checked: FreeTDS reads the authority file and the host name
// check only from a freetds.conf section, so the string names a section (SERVERNAME=) holding them.
struct FreeTdsSection {
    QString name; // empty: no section needed
    QString body; // "[name]\n\thost = ...\n..."
};

struct OdbcTranslation {
    QString connectionString; // empty when refused
    QString refusal;          // why this driver cannot connect as asked (shown to the user as it stands)
    FreeTdsSection section;
};

// Whether the driver can be handed the one certificate a server may present (trusted by its fingerprint)
// under that encryption: FreeTDS (its section's "ca file") and ODBC Driver 18 under "Strict"
// (ServerCertificate=). The others check a certificate only against the trust store trustStoreName() names,
// so a certificate trusted here could never be used by them.
bool canHoldToCertificate(const OdbcDriver &driver, Encryption encryption);

#ifdef _WIN32
inline constexpr bool kOnWindows = true;
#else
inline constexpr bool kOnWindows = false;
#endif

// Where Microsoft's drivers look for the certificates they trust: "the Windows certificate store" on
// Windows, "the system's trust store" elsewhere.
QString trustStoreName(bool windows = kOnWindows);

// For a driver that cannot hold to one certificate: what to do instead of trusting the certificate of
// server here, in plain words (install it into the trust store; with driver 18, "Strict" can hold to it).
QString installCertificateAdvice(const QString &server, const OdbcDriver &driver, Encryption encryption,
                                 bool windows = kOnWindows);

// The string for a session's connection: the login or the driver's integrated login, the encryption
// choice and its certificate check in the driver's own keywords, the application's and workstation's
// names. A choice the driver cannot express is refused, never weakened; so is an empty login without
// Windows authentication (FreeTDS would take it for its integrated login).
OdbcTranslation odbcConnection(const OleDbParts &parts, const OdbcDriver &driver,
                               const ConnectionOptions &options);

} // namespace quorix

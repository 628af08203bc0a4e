#include "core/db/ConnectionString.h"

#include <QCryptographicHash>

namespace quorix {

QString sessionConnectionString(const QString &server, const QString &login, const QString &password) {
    return QStringLiteral("Provider=SQLOLEDB;Persist Security Info=True;Server=") + server +
           QStringLiteral(";UID=") + login + QStringLiteral(";Database=MASTER ") +
           QStringLiteral(";Password=") + password;
}

namespace {

// Walks the key=value items; the password item ends the walk, as it runs to the end of the text.
template <typename Item> void forEachOleDbItem(const QString &text, Item &&item) {
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype eq = text.indexOf(QLatin1Char('='), pos);
        if (eq < 0)
            break;
        const QString key = text.mid(pos, eq - pos).trimmed().toLower();
        if (key == QLatin1String("password") || key == QLatin1String("pwd")) {
            item(key, eq + 1, text.size());
            break;
        }
        qsizetype end = text.indexOf(QLatin1Char(';'), eq + 1);
        if (end < 0)
            end = text.size();
        item(key, eq + 1, end);
        pos = end + 1;
    }
}

bool isPasswordKey(const QString &key) {
    return key == QLatin1String("password") || key == QLatin1String("pwd");
}

} // namespace

OleDbParts parseOleDbConnectionString(const QString &text) {
    OleDbParts parts;
    forEachOleDbItem(text, [&](const QString &key, qsizetype from, qsizetype to) {
        if (isPasswordKey(key)) {
            parts.password = text.mid(from);
            return;
        }
        const QString value = text.mid(from, to - from).trimmed();
        if (key == QLatin1String("server") || key == QLatin1String("data source") ||
            key == QLatin1String("address") || key == QLatin1String("addr"))
            parts.server = value;
        else if (key == QLatin1String("uid") || key == QLatin1String("user id"))
            parts.user = value;
        else if (key == QLatin1String("database") || key == QLatin1String("initial catalog"))
            parts.database = value;
    });
    return parts;
}

QString maskOleDbPassword(const QString &text) {
    QString masked = text;
    forEachOleDbItem(text, [&](const QString &key, qsizetype from, qsizetype) {
        if (isPasswordKey(key) && from < text.size())
            masked = text.left(from) + QStringLiteral("********");
    });
    return masked;
}

DriverKind driverKindOf(const QString &name) {
    if (name.contains(QLatin1String("freetds"), Qt::CaseInsensitive) ||
        name.contains(QLatin1String("tdsodbc"), Qt::CaseInsensitive))
        return DriverKind::FreeTds;
    if (name.compare(QLatin1String("SQL Server"), Qt::CaseInsensitive) == 0)
        return DriverKind::WindowsSqlServer;
    return DriverKind::MsOdbc;
}

OdbcDriver chooseDriver(const QStringList &installed, const QString &overrideName) {
    if (!overrideName.trimmed().isEmpty())
        return {overrideName.trimmed(), driverKindOf(overrideName)};
    static const char *const preferred[] = {"ODBC Driver 18 for SQL Server", "ODBC Driver 17 for SQL Server",
                                            "FreeTDS", "SQL Server"};
    for (const char *name : preferred)
        for (const QString &have : installed)
            if (have.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                return {have, driverKindOf(have)};
#ifdef _WIN32
    return {QStringLiteral("SQL Server"), DriverKind::WindowsSqlServer};
#else
    return {QStringLiteral("FreeTDS"), DriverKind::FreeTds};
#endif
}

ServerAddress parseServerAddress(const QString &server) {
    ServerAddress a;
    QString rest = server.trimmed();
    const qsizetype comma = rest.indexOf(QLatin1Char(','));
    if (comma >= 0) {
        bool ok = false;
        const int port = rest.mid(comma + 1).trimmed().toInt(&ok);
        if (ok && port > 0 && port < 65536)
            a.port = port;
        rest = rest.left(comma).trimmed();
    }
    const qsizetype slash = rest.indexOf(QLatin1Char('\\'));
    if (slash >= 0) {
        a.instance = rest.mid(slash + 1).trimmed();
        rest = rest.left(slash).trimmed();
    }
    a.host = rest;
    return a;
}

QString odbcValue(const QString &value, bool alwaysBrace, bool doublesBraces) {
    const bool needs = alwaysBrace || value.isEmpty() || value.contains(QLatin1Char(';')) ||
                       value.contains(QLatin1Char('{')) || value.contains(QLatin1Char('}')) ||
                       value.contains(QLatin1Char('=')) || value.front().isSpace() || value.back().isSpace();
    if (!needs)
        return value;
    QString v = value;
    if (doublesBraces)
        v.replace(QLatin1String("}"), QLatin1String("}}"));
    return QLatin1Char('{') + v + QLatin1Char('}');
}

namespace {

// The items of every translation: driver, address, then what goes before the login (the encryption
// items), the login or the integrated login, the database, then the names.
struct Items {
    QStringList security; // before the login
    bool integrated = false;
    QStringList names;      // after the database
    QString freeTdsSection; // SERVERNAME= in place of SERVER=/PORT=/TDS_Version=
};

QString buildString(const OleDbParts &parts, const OdbcDriver &driver, const Items &extra) {
    // Every value the driver itself reads follows its brace rule; the driver manager reads the name.
    const bool braces = driver.doublesBraces;
    QStringList items;
    items << QStringLiteral("DRIVER=") + odbcValue(driver.name, true);
    if (!extra.freeTdsSection.isEmpty()) {
        items << QStringLiteral("SERVERNAME=") + odbcValue(extra.freeTdsSection, false, braces);
    } else if (driver.kind == DriverKind::FreeTds) {
        // FreeTDS needs the protocol version and, for a plain host, the port; a named instance is looked
        // up through the server's browser service when no port is given.
        const ServerAddress a = parseServerAddress(parts.server);
        if (a.port == 0 && !a.instance.isEmpty()) {
            items << QStringLiteral("SERVER=") +
                         odbcValue(a.host + QLatin1Char('\\') + a.instance, false, braces);
        } else {
            items << QStringLiteral("SERVER=") + odbcValue(a.host, false, braces);
            items << QStringLiteral("PORT=") + QString::number(a.port ? a.port : 1433);
        }
        items << QStringLiteral("TDS_Version=7.4");
    } else {
        items << QStringLiteral("SERVER=") + odbcValue(parts.server, false, braces);
    }
    items << extra.security;
    if (extra.integrated) {
        items << QStringLiteral("Trusted_Connection=yes");
    } else {
        items << QStringLiteral("UID=") + odbcValue(parts.user, false, braces);
        items << QStringLiteral("PWD=") + odbcValue(parts.password, true, braces);
    }
    // Something must follow the password: a driver that reads braces as written ends the value at "};".
    items << QStringLiteral("DATABASE=") + odbcValue(parts.database, false, braces);
    for (const QString &n : extra.names)
        items << n;
    return items.join(QLatin1Char(';'));
}

// A value written into freetds.conf: the file has no quoting, ';' and '#' open comments and a line ends it.
bool confSafe(const QString &value) {
    for (const QChar c : value)
        if (c == QLatin1Char(';') || c == QLatin1Char('#') || c == QLatin1Char('\n') ||
            c == QLatin1Char('\r') || c == QLatin1Char('[') || c == QLatin1Char(']') || c.unicode() < 0x20)
            return false;
    return !value.trimmed().isEmpty() && value.trimmed() == value;
}

QString freeTdsRefusal(const OleDbParts &parts, const ConnectionOptions &options) {
    if (options.encryption == Encryption::Strict)
        return QStringLiteral(
                   "Encryption \"Strict\" (TDS 8) needs ODBC Driver 18 for SQL Server; the FreeTDS "
                   "driver cannot do it. Choose \"Mandatory\" for %1.")
            .arg(parts.server);
    return {};
}

OdbcTranslation freeTds(const OleDbParts &parts, const OdbcDriver &driver, const ConnectionOptions &options,
                        Items items) {
    OdbcTranslation t;
    t.refusal = freeTdsRefusal(parts, options);
    if (!t.refusal.isEmpty())
        return t;
    if (options.encryption == Encryption::Optional) {
        items.security << QStringLiteral("Encryption=request");
        t.connectionString = buildString(parts, driver, items);
        return t;
    }
    const ServerAddress a = parseServerAddress(parts.server);
    const QString trust = !options.trustedCertificate.isEmpty() ? options.trustedCertificate
                          : !options.authorityFile.isEmpty()    ? options.authorityFile
                                                                : QStringLiteral("system");
    if (a.host.trimmed().isEmpty()) {
        t.refusal = QStringLiteral("No server is named: type the server's name into its box.");
        return t;
    }
    if (!confSafe(a.host) || (!a.instance.isEmpty() && !confSafe(a.instance)) || !confSafe(trust)) {
        t.refusal =
            QStringLiteral("The server name %1 or the certificate file %2 holds a character the FreeTDS "
                           "driver's configuration cannot carry (; # [ ] or a line break).")
                .arg(parts.server, trust);
        return t;
    }
    QStringList body;
    body << QStringLiteral("\thost = ") + a.host;
    if (a.port == 0 && !a.instance.isEmpty())
        body << QStringLiteral("\tinstance = ") + a.instance;
    else
        body << QStringLiteral("\tport = ") + QString::number(a.port ? a.port : 1433);
    body << QStringLiteral("\ttds version = 7.4") << QStringLiteral("\tencryption = require")
         << QStringLiteral("\tca file = ") + trust
         // A pinned certificate is that very certificate, whatever name it was issued to.
         << QStringLiteral("\tcheck certificate hostname = ") +
                QLatin1String(options.trustedCertificate.isEmpty() ? "yes" : "no");
    const QString joined = body.join(QLatin1Char('\n'));
    const QByteArray digest =
        QCryptographicHash::hash(joined.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    t.section.name = QStringLiteral("quorix-") + QString::fromLatin1(digest);
    t.section.body = QLatin1Char('[') + t.section.name + QStringLiteral("]\n") + joined + QLatin1Char('\n');
    items.freeTdsSection = t.section.name;
    items.security << QStringLiteral("Encryption=require");
    t.connectionString = buildString(parts, driver, items);
    return t;
}

bool isDriver18(const OdbcDriver &driver) {
    return driver.kind == DriverKind::MsOdbc && driver.name.contains(QLatin1String("18"));
}

OdbcTranslation microsoft(const OleDbParts &parts, const OdbcDriver &driver, const ConnectionOptions &options,
                          Items items) {
    OdbcTranslation t;
    const bool v18 = isDriver18(driver);
    const bool legacy = driver.kind == DriverKind::WindowsSqlServer;
    const QString who = QStringLiteral(" (%1, driver \"%2\")").arg(parts.server, driver.name);
    if (options.encryption == Encryption::Optional) {
        // The classic provider neither encrypted nor checked certificates; version 18 would insist on both.
        if (!legacy)
            items.security << QStringLiteral("Encrypt=no") << QStringLiteral("TrustServerCertificate=yes");
        t.connectionString = buildString(parts, driver, items);
        return t;
    }
    if (options.encryption == Encryption::Strict && !v18) {
        t.refusal = QStringLiteral("Encryption \"Strict\" (TDS 8) needs ODBC Driver 18 for SQL Server") +
                    who + QStringLiteral(". Choose \"Mandatory\" or install driver 18.");
        return t;
    }
    if (!options.trustedCertificate.isEmpty() && !(v18 && options.encryption == Encryption::Strict)) {
        t.refusal =
            QStringLiteral("A certificate trusted by its fingerprint can be held to only by ODBC Driver 18 "
                           "for SQL Server under \"Strict\" encryption") +
            who +
            QStringLiteral(". Install the server's certificate into %1 instead and remove %2, or choose "
                           "\"Strict\" with driver 18.")
                .arg(trustStoreName(), options.trustedCertificate);
        return t;
    }
    if (!options.authorityFile.isEmpty()) {
        t.refusal =
            QStringLiteral("The driver") + who +
            QStringLiteral(" checks certificates against %1 only; install the authority there instead of "
                           "naming a file.")
                .arg(trustStoreName());
        return t;
    }
    if (options.encryption == Encryption::Strict) {
        items.security << QStringLiteral("Encrypt=Strict");
        if (!options.trustedCertificate.isEmpty())
            items.security << QStringLiteral("ServerCertificate=") +
                                  odbcValue(options.trustedCertificate, false, driver.doublesBraces);
    } else {
        items.security << QStringLiteral("Encrypt=yes");
        if (!legacy)
            items.security << QStringLiteral("TrustServerCertificate=no");
    }
    t.connectionString = buildString(parts, driver, items);
    return t;
}

} // namespace

bool canHoldToCertificate(const OdbcDriver &driver, Encryption encryption) {
    if (driver.kind == DriverKind::FreeTds)
        return encryption != Encryption::Strict; // FreeTDS 1.3 has no Strict at all
    return isDriver18(driver) && encryption == Encryption::Strict;
}

QString trustStoreName(bool windows) {
    return windows ? QStringLiteral("the Windows certificate store")
                   : QStringLiteral("the system's trust store");
}

QString installCertificateAdvice(const QString &server, const OdbcDriver &driver, Encryption encryption,
                                 bool windows) {
    QString advice =
        QStringLiteral("The driver \"%1\" cannot be told to accept this one certificate, so nothing was kept "
                       "for %2: install the server's certificate (or the authority that issued it) into %3 "
                       "of this machine, then connect again.")
            .arg(driver.name, server, trustStoreName(windows));
    if (isDriver18(driver) && encryption != Encryption::Strict)
        advice +=
            QStringLiteral(" With SQL Server 2022 or later, choose \"Strict\" for it instead: then this "
                           "one certificate can be trusted here.");
    return advice;
}

QString toOdbcConnectionString(const OleDbParts &parts, const OdbcDriver &driver) {
    return buildString(parts, driver, {});
}

OdbcTranslation odbcConnection(const OleDbParts &parts, const OdbcDriver &driver,
                               const ConnectionOptions &options) {
    if (!options.windowsAuthentication && parts.user.trimmed().isEmpty()) {
        // FreeTDS would take an empty login for its integrated (Kerberos) login, unasked.
        OdbcTranslation t;
        t.refusal = QStringLiteral("No login is given for %1: type one into its Login box, or tick "
                                   "\"Windows authentication\" for it. Nothing was sent to the server.")
                        .arg(parts.server);
        return t;
    }
    Items items;
    items.integrated = options.windowsAuthentication;
    const bool braces = driver.doublesBraces;
    items.names << QStringLiteral("APP=") + odbcValue(options.applicationName, false, braces)
                << QStringLiteral("WSID=") +
                       odbcValue(options.workstation.isEmpty() ? workstationName() : options.workstation,
                                 false, braces);
    if (driver.kind == DriverKind::FreeTds)
        return freeTds(parts, driver, options, std::move(items));
    return microsoft(parts, driver, options, std::move(items));
}

} // namespace quorix

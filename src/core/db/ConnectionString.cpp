#include "core/db/ConnectionString.h"

namespace quorix {

QString sessionConnectionString(const QString &server, const QString &password) {
    return QStringLiteral("Provider=SQLOLEDB;Persist Security Info=True;Server=") + server +
           QStringLiteral(";UID=sa;Database=MASTER ") + QStringLiteral(";Password=") + password;
}

OleDbParts parseOleDbConnectionString(const QString &text) {
    OleDbParts parts;
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype eq = text.indexOf(QLatin1Char('='), pos);
        if (eq < 0)
            break;
        const QString key = text.mid(pos, eq - pos).trimmed().toLower();
        if (key == QLatin1String("password") || key == QLatin1String("pwd")) {
            parts.password = text.mid(eq + 1);
            break;
        }
        qsizetype end = text.indexOf(QLatin1Char(';'), eq + 1);
        if (end < 0)
            end = text.size();
        const QString value = text.mid(eq + 1, end - eq - 1).trimmed();
        if (key == QLatin1String("server") || key == QLatin1String("data source") ||
            key == QLatin1String("address") || key == QLatin1String("addr"))
            parts.server = value;
        else if (key == QLatin1String("uid") || key == QLatin1String("user id"))
            parts.user = value;
        else if (key == QLatin1String("database") || key == QLatin1String("initial catalog"))
            parts.database = value;
        pos = end + 1;
    }
    return parts;
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

QString toOdbcConnectionString(const OleDbParts &parts, const OdbcDriver &driver) {
    // Every value the driver itself reads follows its brace rule; the driver manager reads the name.
    const bool braces = driver.doublesBraces;
    QStringList items;
    items << QStringLiteral("DRIVER=") + odbcValue(driver.name, true);
    if (driver.kind == DriverKind::FreeTds) {
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
        // The classic provider neither encrypted nor checked certificates; version 18 would insist on both.
        if (driver.kind == DriverKind::MsOdbc)
            items << QStringLiteral("Encrypt=no") << QStringLiteral("TrustServerCertificate=yes");
    }
    items << QStringLiteral("UID=") + odbcValue(parts.user, false, braces);
    items << QStringLiteral("PWD=") + odbcValue(parts.password, true, braces);
    // Something must follow the password: a driver that reads braces as written ends the value at "};".
    items << QStringLiteral("DATABASE=") + odbcValue(parts.database, false, braces);
    return items.join(QLatin1Char(';'));
}

} // namespace quorix

// The connection string on any server box, password and driver name: the window's own string reads back
// whole, and whatever the provider string held, the driver's string carries exactly the attributes it
// should, each value read back by the driver's rule as it went in, so nothing can add an attribute.

#include "FuzzInput.h"

#include "core/db/ConnectionString.h"

#include <QList>
#include <QPair>

#include <optional>

using namespace quorix;

namespace {

using Attributes = QList<QPair<QString, QString>>;

// The driver's reading of "KEY=value;KEY={value};...". A braced value runs to the '}' that closes it:
// by the ODBC rule the first single '}' ("}}" is one '}' inside), for a driver that does not undouble the
// first '}' followed by ';' or the end of the string, everything before it as written.
std::optional<Attributes> readOdbc(const QString &text, bool undoubles) {
    Attributes found;
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype eq = text.indexOf(QLatin1Char('='), pos);
        if (eq < 0)
            return std::nullopt;
        const QString key = text.mid(pos, eq - pos);
        QString value;
        qsizetype end = eq + 1;
        if (end < text.size() && text[end] == QLatin1Char('{')) {
            ++end;
            for (;; ++end) {
                if (end >= text.size())
                    return std::nullopt;
                if (text[end] != QLatin1Char('}')) {
                    value += text[end];
                    continue;
                }
                const QChar next = end + 1 < text.size() ? text[end + 1] : QChar();
                if (undoubles && next == QLatin1Char('}')) {
                    value += text[end++];
                    continue;
                }
                if (undoubles || next == QLatin1Char(';') || end + 1 == text.size())
                    break;
                value += text[end];
            }
            ++end;
            if (end < text.size() && text[end] != QLatin1Char(';'))
                return std::nullopt;
        } else {
            end = text.indexOf(QLatin1Char(';'), end);
            if (end < 0)
                end = text.size();
            value = text.mid(eq + 1, end - eq - 1);
        }
        found.append({key, value});
        pos = end + 1;
    }
    return found;
}

Attributes expectedAttributes(const OleDbParts &parts, const OdbcDriver &driver) {
    Attributes want;
    const auto add = [&want](const char *key, const QString &value) {
        want.append({QLatin1String(key), value});
    };
    add("DRIVER", driver.name);
    if (driver.kind == DriverKind::FreeTds) {
        const ServerAddress a = parseServerAddress(parts.server);
        if (a.port == 0 && !a.instance.isEmpty()) {
            add("SERVER", a.host + QLatin1Char('\\') + a.instance);
        } else {
            add("SERVER", a.host);
            add("PORT", QString::number(a.port ? a.port : 1433));
        }
        add("TDS_Version", QStringLiteral("7.4"));
    } else {
        add("SERVER", parts.server);
    }
    add("UID", parts.user);
    add("PWD", parts.password);
    add("DATABASE", parts.database);
    return want;
}

QString shownAttributes(const Attributes &attributes) {
    QStringList items;
    for (const auto &[key, value] : attributes)
        items << key + QLatin1Char('=') + value;
    return items.join(QLatin1String(" | "));
}

void checkTranslation(const OleDbParts &parts, const OdbcDriver &driver) {
    const Attributes want = expectedAttributes(parts, driver);
    // A driver that reads braces as written cannot be given a value holding "};".
    if (!driver.doublesBraces)
        for (const auto &item : want)
            if (item.second.contains(QLatin1String("};")))
                return;
    const QString odbc = toOdbcConnectionString(parts, driver);
    const std::optional<Attributes> got = readOdbc(odbc, driver.doublesBraces);
    fuzz::require(got.has_value(), "the driver's string is well formed", odbc);
    fuzz::require(*got == want, "the driver reads back exactly the attributes given", shownAttributes(*got),
                  shownAttributes(want));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QStringList fields =
        fuzz::fieldsOf(fuzz::textOf(data, size), 3); // server or string, password, driver

    // The window's own string: a server box holding no ';' and any password read back whole.
    const OleDbParts own = parseOleDbConnectionString(sessionConnectionString(fields[0], fields[1]));
    if (!fields[0].contains(QLatin1Char(';'))) {
        fuzz::require(own.password == fields[1], "the password reads back whole", own.password, fields[1]);
        fuzz::require(own.server == fields[0].trimmed(), "the server reads back trimmed", own.server,
                      fields[0]);
        fuzz::require(own.user == QLatin1String("sa") && own.database == QLatin1String("MASTER"),
                      "the login and database read back", own.user + QLatin1Char('|') + own.database);
    }

    // Any provider string, translated for each kind of driver.
    const OleDbParts parts = parseOleDbConnectionString(fields[0]);
    const OdbcDriver chosen = chooseDriver({}, fields[2]);
    for (const OleDbParts &p : {own, parts}) {
        checkTranslation(p, {QStringLiteral("FreeTDS"), DriverKind::FreeTds, true});
        checkTranslation(p, {QStringLiteral("FreeTDS"), DriverKind::FreeTds, false});
        checkTranslation(p, {QStringLiteral("ODBC Driver 18 for SQL Server"), DriverKind::MsOdbc, true});
        checkTranslation(p, {QStringLiteral("SQL Server"), DriverKind::WindowsSqlServer, true});
        checkTranslation(p, chosen);
    }
    return 0;
}

// The quoting rule on any text: a quoted name or literal, read back by the server's rules, is exactly the
// text that went in, and taking statement-ending ";" off a statement never reaches inside one.

#include "FuzzInput.h"

#include "core/db/SqlQuote.h"
#include "core/mirroring/ScriptSplitter.h"

#include <algorithm>
#include <optional>

using namespace quorix;

namespace {

// A character the server accepts inside a regular identifier after the first: a letter, a decimal digit,
// "_", "@", "#" or "$". Supplementary characters come as a surrogate pair.
bool identifierCharacter(char32_t c, bool first) {
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
        return true;
    case QChar::Number_DecimalDigit:
        return !first;
    default:
        return c == U'_' || (!first && (c == U'@' || c == U'#' || c == U'$'));
    }
}

// What a quoted piece opened at sql[open] holds: up to the close mark, a doubled close standing for one.
// Nothing unless the piece closes exactly at the end of sql.
std::optional<QString> readQuoted(const QString &sql, qsizetype open, QChar close) {
    QString inside;
    for (qsizetype i = open + 1; i < sql.size(); ++i) {
        if (sql[i] != close)
            inside += sql[i];
        else if (i + 1 < sql.size() && sql[i + 1] == close)
            inside += sql[i++];
        else
            return i + 1 == sql.size() ? std::optional<QString>(inside) : std::nullopt;
    }
    return std::nullopt;
}

// The server's reading of a name: [...] with "]]" standing for "]", or a bare regular identifier, read as
// written. Nothing when the text is not one whole name.
std::optional<QString> readName(const QString &sql) {
    if (sql.startsWith(QLatin1Char('[')))
        return readQuoted(sql, 0, QLatin1Char(']'));
    if (sql.isEmpty())
        return std::nullopt;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        char32_t c = sql[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < sql.size() && sql[i + 1].isLowSurrogate())
            c = QChar::surrogateToUcs4(sql[i], sql[i + 1]);
        else if (QChar::isSurrogate(c))
            return std::nullopt; // a lone surrogate is no character at all
        if (!identifierCharacter(c, i == 0))
            return std::nullopt;
        if (c > 0xFFFF)
            ++i;
    }
    return sql;
}

// The server's reading of a text literal: '...' or N'...' with "''" standing for "'". unicode tells
// whether the N was there.
std::optional<QString> readLiteral(const QString &sql, bool &unicode) {
    unicode = sql.startsWith(QLatin1Char('N'));
    const qsizetype open = unicode ? 1 : 0;
    if (open >= sql.size() || sql[open] != QLatin1Char('\''))
        return std::nullopt;
    return readQuoted(sql, open, QLatin1Char('\''));
}

void checkName(const QString &name) {
    const QString quoted = sqlName(name);
    fuzz::require(readName(quoted) == name, "a quoted name reads back as itself", quoted, name);
    if (!quoted.startsWith(QLatin1Char('[')))
        fuzz::require(isRegularIdentifier(name), "only a regular identifier goes unbracketed", quoted);
}

void checkLiteral(const QString &text) {
    bool unicode = false;
    const QString literal = sqlLiteral(text);
    fuzz::require(readLiteral(literal, unicode) == text, "a literal reads back as its text", literal, text);
    const bool ascii = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
    fuzz::require(unicode || ascii, "a text beyond ASCII is sent with N", literal);

    const QString always = sqlUnicodeLiteral(text);
    fuzz::require(readLiteral(always, unicode) == text && unicode, "an N literal reads back as its text",
                  always, text);
}

// The script runner's ";" removal sees a quoted name and a literal as whole, whatever they hold.
void checkSemicolonsStayInside(const QString &text) {
    const QString statement = QStringLiteral("SELECT ") + sqlLiteral(text) + QStringLiteral(" AS ") +
                              sqlName(text) + QStringLiteral(" FROM ") + sqlName(text);
    fuzz::require(removeStatementSemicolons(statement + QLatin1Char(';')) == statement,
                  "only the statement's own ';' is removed", removeStatementSemicolons(statement + ';'),
                  statement);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString text = fuzz::textOf(data, size);
    checkName(text);
    checkLiteral(text);
    checkSemicolonsStayInside(text);
    return 0;
}

#include "core/mirroring/ScriptSplitter.h"

#include <QStringView>

namespace quorix {

namespace {

struct Line {
    QStringView text; // without its line end
    bool ended;       // a line end followed it
};

QList<Line> splitLines(const QString &script) {
    QList<Line> lines;
    const QStringView all(script);
    qsizetype start = 0;
    while (start < all.size()) {
        const qsizetype lf = all.indexOf(QLatin1Char('\n'), start);
        if (lf < 0) {
            lines.append({all.mid(start), false});
            break;
        }
        qsizetype end = lf;
        if (end > start && all[end - 1] == QLatin1Char('\r'))
            --end;
        lines.append({all.mid(start, end - start), true});
        start = lf + 1;
    }
    return lines;
}

bool isBlankOrTab(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

bool isSeparator(QStringView line) {
    qsizetype b = 0;
    qsizetype e = line.size();
    while (b < e && isBlankOrTab(line[b]))
        ++b;
    while (e > b && isBlankOrTab(line[e - 1]))
        --e;
    return line.mid(b, e - b).compare(QLatin1String("GO"), Qt::CaseInsensitive) == 0;
}

// Blanks here are spaces only, as the runner has always trimmed.
QString trimLeadingBlanks(const QString &s) {
    qsizetype b = 0;
    while (b < s.size() && s[b] == QLatin1Char(' '))
        ++b;
    return s.mid(b);
}

QString trimBlanks(const QString &s) {
    QString out = trimLeadingBlanks(s);
    qsizetype e = out.size();
    while (e > 0 && out[e - 1] == QLatin1Char(' '))
        --e;
    out.truncate(e);
    return out;
}

// Takes leading CRs off, then leading LFs, each with the blanks after it.
QString stripStart(QString s) {
    s = trimLeadingBlanks(s);
    while (s.startsWith(QLatin1Char('\r')))
        s = trimLeadingBlanks(s.mid(1));
    while (s.startsWith(QLatin1Char('\n')))
        s = trimLeadingBlanks(s.mid(1));
    return s;
}

void finishBatch(QString raw, QList<ScriptBatch> &out) {
    // The line end before GO goes back to its CR.
    if (raw.endsWith(QLatin1String("\r\n")))
        raw.chop(1);
    QString text = stripStart(removeStatementSemicolons(trimBlanks(raw)));
    bool echo = true;
    if (trimBlanks(text).startsWith(QLatin1Char('-'))) {
        echo = false;
        const qsizetype eol = text.indexOf(QLatin1String("\r\n"));
        text = eol < 0 ? QString() : text.mid(eol + 2);
    }
    if (!text.trimmed().isEmpty())
        out.append({text, echo});
}

} // namespace

QList<ScriptBatch> splitScript(const QString &script) {
    QList<ScriptBatch> batches;
    QString raw;
    bool any = false;
    for (const Line &line : splitLines(script)) {
        if (isSeparator(line.text)) {
            if (any)
                finishBatch(raw, batches);
            raw.clear();
            any = false;
            continue;
        }
        raw += line.text;
        if (line.ended)
            raw += QLatin1String("\r\n");
        any = true;
    }
    if (any)
        finishBatch(raw, batches);
    return batches;
}

QString removeStatementSemicolons(const QString &sql) {
    enum class State { Code, Text, QuotedName, BracketName, LineComment, BlockComment };
    State state = State::Code;
    int depth = 0; // block comments nest
    QString out;
    out.reserve(sql.size());
    const auto at = [&](qsizetype i) { return i < sql.size() ? sql[i] : QChar(); };
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql[i];
        const QChar next = at(i + 1);
        switch (state) {
        case State::Code:
            if (c == QLatin1Char(';')) {
                // Taken out, it must not join its neighbours into a comment mark ("-;-", "/;*") or a
                // doubled quote ("'a';'b'" would become one text).
                const QChar before = out.isEmpty() ? QChar() : out.back();
                const bool joins = (before == QLatin1Char('-') && next == QLatin1Char('-')) ||
                                   (before == QLatin1Char('/') && next == QLatin1Char('*')) ||
                                   (before == next && (next == QLatin1Char('\'') ||
                                                       next == QLatin1Char('"') || next == QLatin1Char(']')));
                if (!joins)
                    continue;
            }
            if (c == QLatin1Char('\''))
                state = State::Text;
            else if (c == QLatin1Char('"'))
                state = State::QuotedName;
            else if (c == QLatin1Char('['))
                state = State::BracketName;
            else if (c == QLatin1Char('-') && next == QLatin1Char('-'))
                state = State::LineComment;
            else if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
                state = State::BlockComment;
                depth = 1;
                out += c;
                out += next;
                ++i;
                continue;
            }
            break;
        case State::Text:
        case State::QuotedName:
        case State::BracketName: {
            const QChar close = state == State::Text         ? QLatin1Char('\'')
                                : state == State::QuotedName ? QLatin1Char('"')
                                                             : QLatin1Char(']');
            if (c == close && next == close) { // doubled: still inside
                out += c;
                out += next;
                ++i;
                continue;
            }
            if (c == close)
                state = State::Code;
            break;
        }
        case State::LineComment:
            if (c == QLatin1Char('\r') || c == QLatin1Char('\n'))
                state = State::Code;
            break;
        case State::BlockComment:
            if ((c == QLatin1Char('/') && next == QLatin1Char('*')) ||
                (c == QLatin1Char('*') && next == QLatin1Char('/'))) {
                depth += c == QLatin1Char('/') ? 1 : -1;
                if (depth == 0)
                    state = State::Code;
                out += c;
                out += next;
                ++i;
                continue;
            }
            break;
        }
        out += c;
    }
    return out;
}

} // namespace quorix

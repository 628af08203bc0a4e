#include "core/db/MaskPasswords.h"

namespace quorix {

namespace {

bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('@') || c == QLatin1Char('#') ||
           c == QLatin1Char('$');
}

// Walks the text a piece at a time: blanks, comments, literals, quoted names, words, single marks.
class Scanner {
public:
    explicit Scanner(const QString &text) : m_text(text) {}

    qsizetype pos() const { return m_pos; }
    bool atEnd() const { return m_pos >= m_text.size(); }
    QChar at(qsizetype k) const { return k < m_text.size() ? m_text[k] : QChar(); }

    // Skips blanks and comments.
    void skipGaps() {
        while (!atEnd()) {
            const QChar c = at(m_pos);
            if (c.isSpace())
                ++m_pos;
            else if (c == QLatin1Char('-') && at(m_pos + 1) == QLatin1Char('-'))
                skipLineComment();
            else if (c == QLatin1Char('/') && at(m_pos + 1) == QLatin1Char('*'))
                skipBlockComment();
            else
                return;
        }
    }
    // A literal ('...' or N'...') starts here.
    bool atLiteral() const {
        const QChar c = at(m_pos);
        return c == QLatin1Char('\'') ||
               ((c == QLatin1Char('N') || c == QLatin1Char('n')) && at(m_pos + 1) == QLatin1Char('\''));
    }
    // Skips a run closed by close, which doubles inside it ('' in a literal, ]] in a name).
    void skipQuoted(QChar close) {
        for (++m_pos; m_pos < m_text.size(); ++m_pos) {
            if (m_text[m_pos] != close)
                continue;
            if (at(m_pos + 1) != close) {
                ++m_pos;
                return;
            }
            ++m_pos;
        }
    }
    void skipLiteral() {
        if (at(m_pos) != QLatin1Char('\''))
            ++m_pos;
        skipQuoted(QLatin1Char('\''));
    }
    // The word starting here (upper case), the position moved past it; empty when none starts here.
    QString word() {
        const qsizetype start = m_pos;
        while (!atEnd() && isWordChar(at(m_pos)))
            ++m_pos;
        return m_text.mid(start, m_pos - start).toUpper();
    }
    // Moves past whatever starts here: a comment, literal, quoted name, word or single mark.
    void skipOne() {
        const QChar c = at(m_pos);
        if (atLiteral())
            skipLiteral();
        else if (c == QLatin1Char('['))
            skipQuoted(QLatin1Char(']'));
        else if (c == QLatin1Char('"'))
            skipQuoted(QLatin1Char('"'));
        else if (isWordChar(c))
            word();
        else if (c.isSpace() || (c == QLatin1Char('-') && at(m_pos + 1) == QLatin1Char('-')) ||
                 (c == QLatin1Char('/') && at(m_pos + 1) == QLatin1Char('*')))
            skipGaps();
        else
            ++m_pos;
    }
    void setPos(qsizetype p) { m_pos = p; }

private:
    void skipLineComment() {
        while (!atEnd() && at(m_pos) != QLatin1Char('\n') && at(m_pos) != QLatin1Char('\r'))
            ++m_pos;
    }
    void skipBlockComment() {
        int nested = 0; // block comments nest on this server
        while (!atEnd()) {
            if (at(m_pos) == QLatin1Char('/') && at(m_pos + 1) == QLatin1Char('*')) {
                ++nested;
                m_pos += 2;
            } else if (at(m_pos) == QLatin1Char('*') && at(m_pos + 1) == QLatin1Char('/')) {
                m_pos += 2;
                if (--nested == 0)
                    return;
            } else {
                ++m_pos;
            }
        }
    }

    const QString &m_text;
    qsizetype m_pos = 0;
};

} // namespace

QString maskStatementPasswords(const QString &sql) {
    // Most statements hold no password at all: those come back as they are, without a copy.
    if (!sql.contains(QLatin1String("password"), Qt::CaseInsensitive))
        return sql;
    QString out;
    qsizetype copied = 0;
    Scanner s(sql);
    while (!s.atEnd()) {
        if (!isWordChar(s.at(s.pos())) || s.atLiteral()) {
            s.skipOne();
            continue;
        }
        const QString w = s.word();
        if (w != QLatin1String("PASSWORD") && w != QLatin1String("OLD_PASSWORD"))
            continue;
        const qsizetype afterWord = s.pos();
        s.skipGaps();
        if (s.at(s.pos()) != QLatin1Char('=')) {
            s.setPos(afterWord);
            continue;
        }
        s.setPos(s.pos() + 1);
        s.skipGaps();
        if (!s.atLiteral())
            continue;
        const qsizetype start = s.pos();
        const bool unicode = s.at(start) != QLatin1Char('\'');
        s.skipLiteral();
        out += QStringView(sql).mid(copied, start - copied);
        out += unicode ? QStringLiteral("N'********'") : QStringLiteral("'********'");
        copied = s.pos();
    }
    if (copied == 0)
        return sql;
    out += QStringView(sql).mid(copied);
    return out;
}

} // namespace quorix

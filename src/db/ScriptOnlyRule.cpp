// The rule that decides what "Script only" may send: a batch is read only when every statement in it is
// known to read. Statements are found without a parser: a batch is cut at ';' and at every word that can
// begin a statement outside parentheses, and each piece is judged by its first word with the table below.

#include "db/ScriptOnly.h"

#include <QSet>

namespace quorix {

namespace {

struct Token {
    enum Type { Word, Name, Literal, Punct } type;
    QString text; // words upper case
    int depth = 0;
};

bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('@') || c == QLatin1Char('#') ||
           c == QLatin1Char('$');
}

// Splits a batch into tokens, dropping comments. Returns false when a comment, literal or quoted name
// does not end: the batch is then not understood.
bool tokenize(const QString &sql, std::vector<Token> &tokens) {
    const qsizetype n = sql.size();
    int depth = 0;
    qsizetype i = 0;
    const auto at = [&](qsizetype k) { return k < n ? sql[k] : QChar(); };
    // Skips a quoted run that doubles its closing character to contain it.
    const auto quoted = [&](QChar close) {
        for (++i; i < n; ++i) {
            if (sql[i] != close)
                continue;
            if (at(i + 1) != close)
                return true;
            ++i;
        }
        return false;
    };
    while (i < n) {
        const QChar c = sql[i];
        if (c.isSpace()) {
            ++i;
        } else if (c == QLatin1Char('-') && at(i + 1) == QLatin1Char('-')) {
            while (i < n && sql[i] != QLatin1Char('\n'))
                ++i;
        } else if (c == QLatin1Char('/') && at(i + 1) == QLatin1Char('*')) {
            int nested = 0; // block comments nest on this server
            for (; i < n; ++i) {
                if (sql[i] == QLatin1Char('/') && at(i + 1) == QLatin1Char('*')) {
                    ++nested;
                    ++i;
                } else if (sql[i] == QLatin1Char('*') && at(i + 1) == QLatin1Char('/')) {
                    ++i;
                    if (--nested == 0)
                        break;
                }
            }
            if (nested != 0)
                return false;
            ++i;
        } else if (c == QLatin1Char('\'') ||
                   ((c == QLatin1Char('N') || c == QLatin1Char('n')) && at(i + 1) == QLatin1Char('\''))) {
            if (c != QLatin1Char('\''))
                ++i;
            if (!quoted(QLatin1Char('\'')))
                return false;
            ++i;
            tokens.push_back({Token::Literal, QString(), depth});
        } else if (c == QLatin1Char('[') || c == QLatin1Char('"')) {
            if (!quoted(c == QLatin1Char('[') ? QLatin1Char(']') : QLatin1Char('"')))
                return false;
            ++i;
            tokens.push_back({Token::Name, QString(), depth});
        } else if (isWordChar(c)) {
            const qsizetype start = i;
            while (i < n && isWordChar(sql[i]))
                ++i;
            const QString word = sql.mid(start, i - start);
            const bool name = word.startsWith(QLatin1Char('@')) || word.startsWith(QLatin1Char('#'));
            tokens.push_back({name ? Token::Name : Token::Word, word.toUpper(), depth});
        } else {
            if (c == QLatin1Char('('))
                ++depth;
            tokens.push_back({Token::Punct, QString(c), depth});
            if (c == QLatin1Char(')'))
                depth = std::max(0, depth - 1);
            ++i;
        }
    }
    return true;
}

// Words that begin a statement: where a batch is cut. Words not listed stay inside the statement before.
const QSet<QString> &starters() {
    static const QSet<QString> words = {
        QStringLiteral("SELECT"),     QStringLiteral("INSERT"),     QStringLiteral("UPDATE"),
        QStringLiteral("DELETE"),     QStringLiteral("MERGE"),      QStringLiteral("CREATE"),
        QStringLiteral("ALTER"),      QStringLiteral("DROP"),       QStringLiteral("TRUNCATE"),
        QStringLiteral("EXEC"),       QStringLiteral("EXECUTE"),    QStringLiteral("SET"),
        QStringLiteral("DECLARE"),    QStringLiteral("OPEN"),       QStringLiteral("FETCH"),
        QStringLiteral("CLOSE"),      QStringLiteral("DEALLOCATE"), QStringLiteral("USE"),
        QStringLiteral("RESTORE"),    QStringLiteral("BACKUP"),     QStringLiteral("IF"),
        QStringLiteral("ELSE"),       QStringLiteral("WHILE"),      QStringLiteral("BEGIN"),
        QStringLiteral("END"),        QStringLiteral("BREAK"),      QStringLiteral("CONTINUE"),
        QStringLiteral("RETURN"),     QStringLiteral("GOTO"),       QStringLiteral("PRINT"),
        QStringLiteral("RAISERROR"),  QStringLiteral("THROW"),      QStringLiteral("GRANT"),
        QStringLiteral("REVOKE"),     QStringLiteral("DENY"),       QStringLiteral("DBCC"),
        QStringLiteral("KILL"),       QStringLiteral("SHUTDOWN"),   QStringLiteral("RECONFIGURE"),
        QStringLiteral("CHECKPOINT"), QStringLiteral("BULK"),       QStringLiteral("WAITFOR"),
        QStringLiteral("COMMIT"),     QStringLiteral("ROLLBACK"),   QStringLiteral("SAVE"),
        QStringLiteral("READTEXT"),   QStringLiteral("WRITETEXT"),  QStringLiteral("UPDATETEXT"),
        QStringLiteral("ENABLE"),     QStringLiteral("DISABLE"),    QStringLiteral("REVERT"),
        QStringLiteral("SETUSER"),    QStringLiteral("GO")};
    return words;
}

// Words that make any statement a change wherever they stand, also inside parentheses.
const QSet<QString> &changingWords() {
    static const QSet<QString> words = {
        QStringLiteral("INTO"),       QStringLiteral("INSERT"),    QStringLiteral("UPDATE"),
        QStringLiteral("DELETE"),     QStringLiteral("MERGE"),     QStringLiteral("CREATE"),
        QStringLiteral("ALTER"),      QStringLiteral("DROP"),      QStringLiteral("TRUNCATE"),
        QStringLiteral("EXEC"),       QStringLiteral("EXECUTE"),   QStringLiteral("GRANT"),
        QStringLiteral("REVOKE"),     QStringLiteral("DENY"),      QStringLiteral("DBCC"),
        QStringLiteral("KILL"),       QStringLiteral("SHUTDOWN"),  QStringLiteral("RECONFIGURE"),
        QStringLiteral("CHECKPOINT"), QStringLiteral("BULK"),      QStringLiteral("BACKUP"),
        QStringLiteral("RESTORE"),    QStringLiteral("WRITETEXT"), QStringLiteral("UPDATETEXT"),
        QStringLiteral("OPENROWSET"), QStringLiteral("OPENQUERY"), QStringLiteral("OPENDATASOURCE"),
        QStringLiteral("LOADHISTORY")};
    return words;
}

// SET options that change nothing stored: sent, and kept in front of the script's next change.
const QSet<QString> &contextOptions() {
    static const QSet<QString> words = {QStringLiteral("NOCOUNT"),
                                        QStringLiteral("ANSI_NULLS"),
                                        QStringLiteral("ANSI_PADDING"),
                                        QStringLiteral("ANSI_WARNINGS"),
                                        QStringLiteral("ARITHABORT"),
                                        QStringLiteral("QUOTED_IDENTIFIER"),
                                        QStringLiteral("CONCAT_NULL_YIELDS_NULL"),
                                        QStringLiteral("NUMERIC_ROUNDABORT"),
                                        QStringLiteral("XACT_ABORT"),
                                        QStringLiteral("LOCK_TIMEOUT"),
                                        QStringLiteral("TEXTSIZE"),
                                        QStringLiteral("ROWCOUNT"),
                                        QStringLiteral("DATEFORMAT"),
                                        QStringLiteral("DATEFIRST"),
                                        QStringLiteral("LANGUAGE"),
                                        QStringLiteral("DEADLOCK_PRIORITY"),
                                        QStringLiteral("TRANSACTION"),
                                        QStringLiteral("IDENTITY_INSERT")};
    return words;
}

const QSet<QString> kRestoreReads = {QStringLiteral("FILELISTONLY"), QStringLiteral("HEADERONLY"),
                                     QStringLiteral("LABELONLY"), QStringLiteral("VERIFYONLY")};

bool isWord(const Token &t, const char *word) {
    return t.type == Token::Word && t.text == QLatin1String(word);
}

// A word that begins a new statement here, rather than continuing the one before.
bool startsStatement(const std::vector<Token> &tokens, size_t i) {
    const Token &t = tokens[i];
    if (t.type != Token::Word || t.depth != 0 || !starters().contains(t.text))
        return false;
    // FOR UPDATE (a cursor's or a query's) names a mode, not an UPDATE statement.
    return !(t.text == QLatin1String("UPDATE") && i > 0 && isWord(tokens[i - 1], "FOR"));
}

// True when a word of the piece (other than its first) makes it a change. INTO is allowed after `intoOk`.
bool holdsChangingWord(const std::vector<Token> &piece, bool intoOk) {
    for (size_t i = 1; i < piece.size(); ++i) {
        const Token &t = piece[i];
        if (t.type != Token::Word)
            continue;
        if (t.text == QLatin1String("UPDATE") && isWord(piece[i - 1], "FOR"))
            continue;
        if (t.text == QLatin1String("INTO") && intoOk)
            continue;
        if (changingWords().contains(t.text))
            return true;
        // NEXT VALUE FOR draws from a sequence, which advances it.
        if (t.text == QLatin1String("VALUE") && isWord(piece[i - 1], "NEXT"))
            return true;
    }
    return false;
}

SqlKind judge(const std::vector<Token> &piece, bool firstOfBatch) {
    const Token &first = piece.front();
    if (first.type != Token::Word)
        return SqlKind::Change; // a name first is a procedure call
    const QString &w = first.text;
    const auto word = [&](size_t i) {
        return i < piece.size() && piece[i].type == Token::Word ? piece[i].text : QString();
    };
    if (w == QLatin1String("USE"))
        return piece.size() == 2 ? SqlKind::Context : SqlKind::Change;
    if (w == QLatin1String("SET")) {
        if (piece.size() > 1 && piece[1].type == Token::Name) // SET @variable = ...
            return holdsChangingWord(piece, false) ? SqlKind::Change : SqlKind::Read;
        return contextOptions().contains(word(1)) && !holdsChangingWord(piece, false) ? SqlKind::Context
                                                                                      : SqlKind::Change;
    }
    if (w == QLatin1String("RESTORE"))
        return kRestoreReads.contains(word(1)) && !holdsChangingWord(piece, false) ? SqlKind::Read
                                                                                   : SqlKind::Change;
    if (w == QLatin1String("EXEC") || w == QLatin1String("EXECUTE"))
        return SqlKind::Change; // a procedure may change anything
    if (w == QLatin1String("BEGIN")) {
        const QString next = word(1);
        return piece.size() == 1 || next == QLatin1String("TRY") || next == QLatin1String("CATCH")
                   ? SqlKind::Read
                   : SqlKind::Change; // BEGIN TRAN, DIALOG, ...
    }
    // A common table expression opens a batch or follows a ';'; its own statement is judged on its own.
    const bool cte = w == QLatin1String("WITH") && firstOfBatch;
    static const QSet<QString> reads = {
        QStringLiteral("SELECT"), QStringLiteral("DECLARE"),    QStringLiteral("OPEN"),
        QStringLiteral("CLOSE"),  QStringLiteral("DEALLOCATE"), QStringLiteral("IF"),
        QStringLiteral("ELSE"),   QStringLiteral("WHILE"),      QStringLiteral("END"),
        QStringLiteral("BREAK"),  QStringLiteral("CONTINUE"),   QStringLiteral("RETURN"),
        QStringLiteral("PRINT")};
    if (w == QLatin1String("FETCH")) // FETCH ... INTO @variables
        return holdsChangingWord(piece, true) ? SqlKind::Change : SqlKind::Read;
    if (cte || reads.contains(w))
        return holdsChangingWord(piece, false) ? SqlKind::Change : SqlKind::Read;
    return SqlKind::Change;
}

} // namespace

SqlKind classifySql(const QString &batch) {
    std::vector<Token> tokens;
    if (!tokenize(batch, tokens))
        return SqlKind::Change;
    SqlKind kind = SqlKind::Read;
    std::vector<Token> piece;
    bool firstOfBatch = true; // the first statement, or one right after ';'
    bool pieceFirst = true;
    const auto flush = [&] {
        if (piece.empty())
            return;
        const SqlKind k = judge(piece, pieceFirst);
        if (k == SqlKind::Change)
            kind = SqlKind::Change;
        else if (k == SqlKind::Context && kind == SqlKind::Read)
            kind = SqlKind::Context;
        piece.clear();
    };
    for (size_t i = 0; i < tokens.size() && kind != SqlKind::Change; ++i) {
        const Token &t = tokens[i];
        if (t.type == Token::Punct && t.text == QLatin1String(";") && t.depth == 0) {
            flush();
            firstOfBatch = true;
            continue;
        }
        if (!piece.empty() && startsStatement(tokens, i))
            flush();
        if (piece.empty()) {
            pieceFirst = firstOfBatch;
            firstOfBatch = false;
        }
        piece.push_back(t);
    }
    flush();
    return kind;
}

} // namespace quorix

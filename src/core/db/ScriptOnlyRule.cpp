// The rule that decides what "Script only" may send. It fails safe: a batch is a read only when every
// statement in it is known to read, and a word that can begin a statement changes the batch wherever it
// stands unless the rule knows that statement reads.
//
// Statements are found without a parser: a batch is cut at ';' and at every statement keyword outside
// parentheses, and each piece is judged by its keyword (some by the words after it) with the table below.
// Inside a piece, INTO, NEXT VALUE FOR, a pass-through query and any statement keyword that is not part of
// a query (a subquery, OFFSET ... FETCH, CASE ... ELSE ... END, a USE HINT) make it a change.

#include "core/db/ScriptOnly.h"

#include <QHash>
#include <QSet>
#include <QStringList>

#include <initializer_list>

namespace quorix {

namespace {

struct Token {
    enum Type { Word, Name, Quoted, Literal, Punct } type;
    QString text; // upper case; a quoted name without its quotes, a @variable or #table with its mark
    int depth = 0;
};

using Piece = std::vector<Token>;

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
    // Skips a quoted run that doubles its closing character to contain it; i stops on the closing one.
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
            // A line comment ends at CR as well as at LF, as the batches are sent.
            while (i < n && sql[i] != QLatin1Char('\n') && sql[i] != QLatin1Char('\r'))
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
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : QLatin1Char('"');
            const qsizetype start = i + 1;
            if (!quoted(close))
                return false;
            QString name = sql.mid(start, i - start);
            name.replace(QString(2, close), QString(close));
            ++i;
            tokens.push_back({Token::Quoted, name.toUpper(), depth});
        } else if (isWordChar(c)) {
            const qsizetype start = i;
            while (i < n && isWordChar(sql[i]))
                ++i;
            const QString word = sql.mid(start, i - start).toUpper();
            const bool name = word.startsWith(QLatin1Char('@')) || word.startsWith(QLatin1Char('#'));
            tokens.push_back({name ? Token::Name : Token::Word, word, depth});
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

QSet<QString> words(std::initializer_list<const char *> list) {
    QSet<QString> set;
    for (const char *w : list)
        set.insert(QLatin1String(w));
    return set;
}

// How a statement keyword is judged.
enum class Verb {
    Reads,   // reads, or steers the batch: queries, variables, cursors over a query, control of flow
    Context, // sets the session up: sent, and kept in front of the next change
    Changes, // never sent
    Follows, // judged by the words after it
};

// Every keyword that begins a statement on SQL Server 2008 to 2022, and how the statement is judged.
const QHash<QString, Verb> &keywords() {
    static const QHash<QString, Verb> table = [] {
        QHash<QString, Verb> t;
        const auto add = [&t](Verb verb, std::initializer_list<const char *> list) {
            for (const char *w : list)
                t.insert(QLatin1String(w), verb);
        };
        // Queries, variables, cursor steps (a cursor runs a query), control of flow, messages.
        add(Verb::Reads, {"SELECT", "DECLARE", "FETCH", "DEALLOCATE", "IF", "ELSE", "WHILE", "BREAK",
                          "CONTINUE", "GOTO", "RETURN", "PRINT", "THROW", "READTEXT"});
        // Impersonation: the session's context.
        add(Verb::Context, {"REVERT", "SETUSER"});
        // BEGIN (a block, TRY, CATCH; TRAN, DIALOG, CONVERSATION TIMER change), END (CONVERSATION changes),
        // OPEN and CLOSE (a cursor reads, a key is context), SET, USE, EXECUTE, RESTORE, DBCC, KILL and
        // RAISERROR: see judgeByWhatFollows().
        add(Verb::Follows, {"BEGIN", "END", "OPEN", "CLOSE", "SET", "USE", "EXEC", "EXECUTE", "RESTORE",
                            "DBCC", "KILL", "RAISERROR"});
        // Data; objects, signatures, sensitivity classifications, permissions; the server.
        add(Verb::Changes,
            {"INSERT", "UPDATE", "DELETE", "MERGE", "TRUNCATE", "BULK", "WRITETEXT", "UPDATETEXT"});
        add(Verb::Changes,
            {"CREATE", "ALTER", "DROP", "ENABLE", "DISABLE", "ADD", "GRANT", "DENY", "REVOKE"});
        add(Verb::Changes, {"BACKUP", "CHECKPOINT", "RECONFIGURE", "SHUTDOWN"});
        // Transactions decide what becomes of changes; one left open by a dry run would hold the log.
        add(Verb::Changes, {"COMMIT", "ROLLBACK", "SAVE"});
        // Service Broker: each sends, takes, moves or locks messages.
        add(Verb::Changes, {"SEND", "RECEIVE", "GET", "MOVE"});
        // WAITFOR waits for a time or for a change (WAITFOR (RECEIVE ...)): not known to read. GO is the
        // tools' batch separator, which the server does not know.
        add(Verb::Changes, {"WAITFOR", "GO"});
        return t;
    }();
    return table;
}

// System procedures documented to report only, and of those the ones a second argument (by position or
// by this name) makes change something: sp_configure sets the option, sp_spaceused with 'true' corrects
// the counts first.
const QSet<QString> &readingProcedures() {
    static const QSet<QString> names = [] {
        QStringList list =
            QStringLiteral("SP_WHO SP_LOCK SP_HELP SP_HELPDB SP_HELPFILE SP_HELPFILEGROUP SP_HELPINDEX "
                           "SP_HELPTEXT SP_HELPCONSTRAINT SP_HELPSTATS SP_HELPTRIGGER SP_HELPLOGINS "
                           "SP_HELPUSER SP_HELPROLE SP_HELPROLEMEMBER SP_HELPSRVROLE SP_HELPSRVROLEMEMBER "
                           "SP_HELPROTECT SP_HELPSERVER SP_HELPDEVICE SP_HELPSORT SP_HELPLANGUAGE SP_DEPENDS "
                           "SP_COLUMNS SP_TABLES SP_DATABASES SP_STORED_PROCEDURES SP_SERVER_INFO "
                           "SP_DESCRIBE_FIRST_RESULT_SET SP_DESCRIBE_UNDECLARED_PARAMETERS SP_CONFIGURE "
                           "SP_SPACEUSED XP_MSVER")
                .split(QLatin1Char(' '));
        // Not in the reference, but every DBA's and reporting only: the drives' free space, the sessions,
        // the error log.
        list << QStringLiteral("XP_FIXEDDRIVES") << QStringLiteral("SP_WHO2")
             << QStringLiteral("SP_READERRORLOG") << QStringLiteral("XP_READERRORLOG");
        return QSet<QString>(list.begin(), list.end());
    }();
    return names;
}

QString secondArgumentChanges(const QString &procedure) {
    if (procedure == QLatin1String("SP_CONFIGURE"))
        return QStringLiteral("@CONFIGVALUE");
    if (procedure == QLatin1String("SP_SPACEUSED"))
        return QStringLiteral("@UPDATEUSAGE");
    return {};
}

QString wordAt(const Piece &p, size_t i) {
    return i < p.size() && p[i].type == Token::Word ? p[i].text : QString();
}

bool isPunct(const Token &t, char c) {
    return t.type == Token::Punct && t.text.size() == 1 && t.text.front() == QLatin1Char(c);
}

bool isVariable(const Token &t) {
    return t.type == Token::Name && t.text.startsWith(QLatin1Char('@'));
}

bool holdsWord(const Piece &p, const QSet<QString> &set) {
    for (const Token &t : p)
        if (t.type == Token::Word && set.contains(t.text))
            return true;
    return false;
}

bool holdsWord(const Piece &p, const char *word) {
    for (const Token &t : p)
        if (t.type == Token::Word && t.text == QLatin1String(word))
            return true;
    return false;
}

// Words of a statement that name something other than a statement: FOR UPDATE (a cursor's mode) and the
// MERGE join and union hints.
bool namesAMode(const std::vector<Token> &tokens, size_t i) {
    const QString &w = tokens[i].text;
    if (w == QLatin1String("UPDATE"))
        return i > 0 && wordAt(tokens, i - 1) == QLatin1String("FOR");
    if (w == QLatin1String("MERGE")) {
        const QString next = wordAt(tokens, i + 1);
        return next == QLatin1String("JOIN") || next == QLatin1String("UNION");
    }
    return false;
}

// True when the word at i makes the statement it stands in a change. A cursor's FETCH may fill
// variables (INTO @a, @b).
bool changesFromInside(const Piece &p, size_t i, bool cursorFetch) {
    const Token &t = p[i];
    if (t.type != Token::Word)
        return false;
    const QString &w = t.text;
    if (w == QLatin1String("INTO")) {
        // Only a cursor's FETCH and EXECUTE AS ... WITH COOKIE put something INTO variables.
        if (!cursorFetch && wordAt(p, i - 1) != QLatin1String("COOKIE"))
            return true;
        for (size_t k = i + 1; k < p.size(); ++k)
            if (!isVariable(p[k]) && !isPunct(p[k], ','))
                return true;
        return false;
    }
    static const QSet<QString> passThrough =
        words({"OPENQUERY", "OPENROWSET", "OPENDATASOURCE", "LOADHISTORY"});
    if (passThrough.contains(w))
        return true;
    if (w == QLatin1String("VALUE") && i > 0 && wordAt(p, i - 1) == QLatin1String("NEXT"))
        return true; // NEXT VALUE FOR advances a sequence
    if (!keywords().contains(w) || namesAMode(p, i))
        return false;
    // Statement keywords that also belong to a query.
    if (w == QLatin1String("END"))
        return wordAt(p, i + 1) == QLatin1String("CONVERSATION");
    if (w == QLatin1String("SELECT") || w == QLatin1String("FETCH") || w == QLatin1String("ELSE"))
        return false;
    return !(w == QLatin1String("USE") && t.depth > 0); // a query hint: USE HINT, USE PLAN
}

bool holdsChange(const Piece &p, size_t from, bool cursorFetch = false) {
    for (size_t i = from; i < p.size(); ++i)
        if (changesFromInside(p, i, cursorFetch))
            return true;
    return false;
}

SqlKind readUnlessChanging(const Piece &p, size_t from, bool cursorFetch = false) {
    return holdsChange(p, from, cursorFetch) ? SqlKind::Change : SqlKind::Read;
}

SqlKind contextUnlessChanging(const Piece &p, size_t from) {
    return holdsChange(p, from) ? SqlKind::Change : SqlKind::Context;
}

// EXECUTE of a procedure, or a procedure named first in the batch: a read only for a system procedure
// known to report, called from master or the sys schema with arguments that do not make it change.
SqlKind procedureCall(const Piece &p, size_t i) {
    // EXECUTE @status = procedure
    if (i + 1 < p.size() && isVariable(p[i]) && isPunct(p[i + 1], '='))
        i += 2;
    QStringList parts; // of the name; master..xp_fixeddrives has an empty one
    bool expectPart = true;
    for (; i < p.size(); ++i) {
        const Token &t = p[i];
        if (isPunct(t, '.')) {
            if (expectPart)
                parts << QString();
            expectPart = true;
        } else if (expectPart && (t.type == Token::Word || t.type == Token::Quoted)) {
            parts << t.text;
            expectPart = false;
        } else {
            break;
        }
    }
    if (parts.isEmpty() || expectPart) // EXECUTE (@sql), EXECUTE @procedure, ...
        return SqlKind::Change;
    const QString procedure = parts.takeLast();
    const bool inMaster =
        parts.isEmpty() || parts == QStringList{QStringLiteral("SYS")} ||
        (parts.size() == 2 && parts[0] == QLatin1String("MASTER") &&
         (parts[1].isEmpty() || parts[1] == QLatin1String("SYS") || parts[1] == QLatin1String("DBO")));
    if (!readingProcedures().contains(procedure) || !inMaster || holdsChange(p, i))
        return SqlKind::Change;
    const QString changing = secondArgumentChanges(procedure);
    if (changing.isEmpty())
        return SqlKind::Read;
    int argument = 0;
    bool argumentStarts = true;
    for (; i < p.size(); ++i) {
        const Token &t = p[i];
        if (t.depth > 0)
            continue;
        if (wordAt(p, i) == QLatin1String("WITH")) // RECOMPILE, RESULT SETS
            break;
        if (isPunct(t, ',')) {
            ++argument;
            argumentStarts = true;
            continue;
        }
        if (!argumentStarts)
            continue;
        argumentStarts = false;
        const bool named = isVariable(t) && i + 1 < p.size() && isPunct(p[i + 1], '=');
        if (named ? t.text == changing : argument >= 1)
            return SqlKind::Change;
    }
    return SqlKind::Read;
}

// SET @variable reads; the session options below are context; any other option (NOEXEC, PARSEONLY,
// FMTONLY, SHOWPLAN_..., IMPLICIT_TRANSACTIONS, ANSI_DEFAULTS, REMOTE_PROC_TRANSACTIONS, OFFSETS) is
// collected in its place in the script rather than sent.
SqlKind setStatement(const Piece &p) {
    if (p.size() > 1 && isVariable(p[1]))
        return readUnlessChanging(p, 1);
    static const QSet<QString> valued = words(
        {"DATEFORMAT", "DATEFIRST", "LANGUAGE", "LOCK_TIMEOUT", "DEADLOCK_PRIORITY", "TEXTSIZE", "ROWCOUNT",
         "QUERY_GOVERNOR_COST_LIMIT", "CONTEXT_INFO", "FIPS_FLAGGER", "TRANSACTION", "IDENTITY_INSERT"});
    static const QSet<QString> switched = words(
        {"NOCOUNT", "ANSI_NULLS", "ANSI_PADDING", "ANSI_WARNINGS", "ANSI_NULL_DFLT_ON", "ANSI_NULL_DFLT_OFF",
         "ARITHABORT", "ARITHIGNORE", "QUOTED_IDENTIFIER", "CONCAT_NULL_YIELDS_NULL", "NUMERIC_ROUNDABORT",
         "XACT_ABORT", "CURSOR_CLOSE_ON_COMMIT", "FORCEPLAN", "STATISTICS", "IO", "TIME", "XML", "PROFILE"});
    if (valued.contains(wordAt(p, 1)))
        return contextUnlessChanging(p, 2);
    // SET option [, option ...] ON | OFF, and nothing after it.
    size_t i = 1;
    for (; i < p.size(); ++i) {
        const QString w = wordAt(p, i);
        if (w == QLatin1String("ON") || w == QLatin1String("OFF"))
            break;
        if (!isPunct(p[i], ',') && !switched.contains(w))
            return SqlKind::Change;
    }
    return i > 1 && i + 1 == p.size() ? SqlKind::Context : SqlKind::Change;
}

// DBCC: the informational and checking commands read; CHECKDB, CHECKTABLE and CHECKALLOC not with a
// REPAIR option, SQLPERF not with CLEAR, CHECKIDENT only with NORESEED (without it the identity is
// reseeded when needed). Every other command changes something.
SqlKind dbccStatement(const Piece &p) {
    static const QSet<QString> reads = words({"HELP", "INPUTBUFFER", "OPENTRAN", "OUTPUTBUFFER", "PROCCACHE",
                                              "SHOW_STATISTICS", "SHOWCONTIG", "TRACESTATUS", "USEROPTIONS",
                                              "CHECKCATALOG", "CHECKCONSTRAINTS", "CHECKFILEGROUP"});
    static const QSet<QString> checks = words({"CHECKDB", "CHECKTABLE", "CHECKALLOC"});
    static const QSet<QString> repairs = words({"REPAIR_ALLOW_DATA_LOSS", "REPAIR_FAST", "REPAIR_REBUILD"});
    const QString command = wordAt(p, 1);
    if (holdsChange(p, 2))
        return SqlKind::Change;
    if (reads.contains(command))
        return SqlKind::Read;
    if (checks.contains(command))
        return holdsWord(p, repairs) ? SqlKind::Change : SqlKind::Read;
    if (command == QLatin1String("SQLPERF"))
        return holdsWord(p, "CLEAR") ? SqlKind::Change : SqlKind::Read;
    if (command == QLatin1String("CHECKIDENT"))
        return holdsWord(p, "NORESEED") && !holdsWord(p, "RESEED") ? SqlKind::Read : SqlKind::Change;
    return SqlKind::Change;
}

// A piece whose keyword is judged by the words after it.
SqlKind judgeByWhatFollows(const Piece &p) {
    const QString &w = p.front().text;
    const QString next = wordAt(p, 1);
    if (w == QLatin1String("BEGIN")) // a block, TRY or CATCH; BEGIN TRAN, DIALOG, CONVERSATION TIMER change
        return p.size() == 1 ||
                       (p.size() == 2 && (next == QLatin1String("TRY") || next == QLatin1String("CATCH")))
                   ? SqlKind::Read
                   : SqlKind::Change;
    if (w == QLatin1String("END")) // a block's, TRY's, CATCH's or CASE's end, or END CONVERSATION
        return next == QLatin1String("CONVERSATION") ? SqlKind::Change : readUnlessChanging(p, 1);
    if (w == QLatin1String("OPEN") || w == QLatin1String("CLOSE")) {
        // A symmetric or the database master key is opened for the session; a cursor runs its query.
        const bool key = next == QLatin1String("SYMMETRIC") || next == QLatin1String("MASTER") ||
                         (w == QLatin1String("CLOSE") && next == QLatin1String("ALL"));
        return key ? contextUnlessChanging(p, 1) : readUnlessChanging(p, 1);
    }
    if (w == QLatin1String("SET"))
        return setStatement(p);
    if (w == QLatin1String("USE"))
        return p.size() == 2 && (p[1].type == Token::Word || p[1].type == Token::Quoted) ? SqlKind::Context
                                                                                         : SqlKind::Change;
    if (w == QLatin1String("EXEC") || w == QLatin1String("EXECUTE"))
        return next == QLatin1String("AS") ? contextUnlessChanging(p, 1) : procedureCall(p, 1);
    if (w == QLatin1String("RESTORE")) {
        static const QSet<QString> reads = words({"FILELISTONLY", "HEADERONLY", "LABELONLY", "VERIFYONLY"});
        return reads.contains(next) ? readUnlessChanging(p, 1) : SqlKind::Change;
    }
    if (w == QLatin1String("DBCC"))
        return dbccStatement(p);
    if (w == QLatin1String("KILL")) // only KILL id WITH STATUSONLY reports without ending anything
        return p.size() == 4 && (p[1].type == Token::Word || p[1].type == Token::Literal) &&
                       wordAt(p, 2) == QLatin1String("WITH") && wordAt(p, 3) == QLatin1String("STATUSONLY")
                   ? SqlKind::Read
                   : SqlKind::Change;
    // RAISERROR: WITH LOG writes to the server's error log.
    return holdsWord(p, "LOG") ? SqlKind::Change : readUnlessChanging(p, 1);
}

// leads: the piece opens the batch or follows a ';'; opensBatch: it opens the batch.
SqlKind judge(const Piece &p, bool leads, bool opensBatch) {
    const Token &first = p.front();
    const auto keyword = first.type == Token::Word ? keywords().find(first.text) : keywords().end();
    if (keyword == keywords().end()) {
        if (leads && first.type == Token::Word && first.text == QLatin1String("WITH"))
            return readUnlessChanging(p, 1); // a common table expression; its statement is judged on its own
        if (p.size() == 2 && first.type == Token::Word && isPunct(p[1], ':'))
            return SqlKind::Read; // a label
        if (opensBatch && (first.type == Token::Word || first.type == Token::Quoted))
            return procedureCall(p, 0); // a procedure named first runs without EXECUTE
        return SqlKind::Change;
    }
    switch (*keyword) {
    case Verb::Reads:
        return readUnlessChanging(p, 1, first.text == QLatin1String("FETCH"));
    case Verb::Context:
        return contextUnlessChanging(p, 1);
    case Verb::Changes:
        return SqlKind::Change;
    case Verb::Follows:
        break;
    }
    return judgeByWhatFollows(p);
}

// A word that begins a new statement here, rather than continuing the one before.
bool startsStatement(const std::vector<Token> &tokens, size_t i) {
    const Token &t = tokens[i];
    return t.type == Token::Word && t.depth == 0 && keywords().contains(t.text) && !namesAMode(tokens, i);
}

} // namespace

SqlKind classifySql(const QString &batch) {
    std::vector<Token> tokens;
    if (!tokenize(batch, tokens))
        return SqlKind::Change;
    SqlKind kind = SqlKind::Read;
    Piece piece;
    bool leads = true, opensBatch = true;           // for the next piece
    bool pieceLeads = true, pieceOpensBatch = true; // for the one being gathered
    const auto flush = [&] {
        if (piece.empty())
            return;
        const SqlKind k = judge(piece, pieceLeads, pieceOpensBatch);
        if (k == SqlKind::Change)
            kind = SqlKind::Change;
        else if (k == SqlKind::Context && kind == SqlKind::Read)
            kind = SqlKind::Context;
        piece.clear();
    };
    for (size_t i = 0; i < tokens.size() && kind != SqlKind::Change; ++i) {
        const Token &t = tokens[i];
        if (isPunct(t, ';') && t.depth == 0) {
            flush();
            leads = true;
            opensBatch = false;
            continue;
        }
        if (!piece.empty() && startsStatement(tokens, i))
            flush();
        if (piece.empty()) {
            pieceLeads = leads;
            pieceOpensBatch = opensBatch;
            leads = opensBatch = false;
        }
        piece.push_back(t);
    }
    flush();
    return kind;
}

} // namespace quorix

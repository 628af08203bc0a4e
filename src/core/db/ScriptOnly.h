#pragma once

// "Script only": a dry run every button honours. While it is on, the connections (ServerConnection, the
// result sets and prepared statements opened on them) ask sends() before anything reaches a server:
//
//   Read      sent, not collected: queries, RESTORE ...ONLY, cursor steps, variables, control of flow, and
//             the system procedures and DBCC commands that only report
//   Context   sent, and collected in front of the next collected change on the same server: USE, the SET
//             options the table in ScriptOnlyRule.cpp lists, EXECUTE AS / REVERT and opening a key, so the
//             saved script runs where the flow ran
//   Change    everything else: collected, logged as "Not sent (Script only): " and the batch, never sent
//
// The rule fails safe: a batch is a read only when every statement in it is known to read; a statement
// keyword not known to read makes it a change wherever it stands. File operations are collected here too
// (as comment lines) by the shares' gate.
//
// One instance per process (scriptOnly()); the window switches it on and off and saves what it holds.

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace quorix {

enum class SqlKind { Read, Context, Change };

// How the rule sees a batch. Comments, string literals and quoted names never count as words.
SqlKind classifySql(const QString &batch);

// A changing prepared statement that was collected instead of prepared: its executions are counted and
// its first values kept for the script's comment.
class CollectedStatement {
public:
    explicit CollectedStatement(QStringList types) : m_types(std::move(types)) {}
    // Returns 1, as if the execution touched one row.
    qint64 execute(const std::vector<QVariant> &values);
    // "-- prepared (int, nvarchar(50)); executed 3 times; first values: 1, N'Ann'"
    QString comment() const;

private:
    mutable std::mutex m_mutex;
    QStringList m_types;
    qint64 m_executions = 0;
    std::vector<QVariant> m_first;
};

class ScriptOnly {
public:
    struct Item {
        QString server; // "Main", "Mirror" or the server's name; empty for a file operation
        QDateTime time;
        QString text; // the batch as it would be sent, or what a file operation would do
        std::shared_ptr<CollectedStatement> prepared;
        bool fileOperation = false;
    };

    // Switching on or off keeps what was collected; clear() forgets it.
    void setActive(bool on);
    bool active() const;
    void clear();

    // Receives a line for the log pane for every collected batch ("Not sent (Script only): " and its text)
    // and every file operation ("Not done (Script only): " and a sentence).
    void setLog(std::function<void(const QString &)> log);
    // Names the server of a connection that was not named (a reader beside a session) by its connection
    // string.
    void setServerNames(std::function<QString(const QString &connectionString)> nameOf);
    QString serverNamed(const QString &connectionString) const;

    // The gate: true when sql may be sent to server now. A change is collected and logged.
    bool sends(const QString &server, const QString &sql);
    // True when sends() would keep sql back (for callers that log the text themselves).
    bool collects(const QString &sql) const;
    // A change to prepare is collected once, with a counter for its executions; nullptr when it may be sent.
    std::shared_ptr<CollectedStatement> collectPrepared(const QString &server, const QString &sql,
                                                        const QStringList &types);
    // Collects a file operation that was not done.
    void collectFileOperation(const QString &what);

    std::vector<Item> items() const;
    // The script: per batch a comment naming its server and time, the batch, a line "GO"; file
    // operations as comment lines.
    QString script() const;
    // Writes script() to path (UTF-8); "" on success, else what failed.
    QString save(const QString &path) const;

private:
    void add(Item item); // with the server's pending context first; m_mutex held

    mutable std::mutex m_mutex;
    bool m_active = false;
    std::vector<Item> m_items;
    std::map<QString, std::vector<QString>> m_context; // per server: sent since its last collected batch
    std::function<void(const QString &)> m_log;
    std::function<QString(const QString &)> m_nameOf;
};

ScriptOnly &scriptOnly();

} // namespace quorix

#pragma once

// Where the connections report what they sent to a server, or what "Script only" held back, for the audit
// journal (core/audit/Journal). A connection without one reports nothing. Reads are not reported: a batch
// the dry run's rule takes for a read (classifySql) changes nothing.

#include "core/db/DbError.h"

#include <QDateTime>
#include <QString>

namespace quorix {

struct SentStatement {
    enum class Result { Done, Failed, NotSent };

    QDateTime time;                     // UTC, when it was sent or held back
    QString session;                    // "Main", "Mirror" or the server, as the connection names itself
    QString connectionString;           // of the connection: the server and the login
    bool windowsAuthentication = false; // the driver's integrated login: the string's login is not used
    QString database; // in use on the connection after the statement, as the driver reports it
    QString sql;      // as sent (the journal masks its passwords)
    Result result = Result::Done;
    int errorNumber = 0; // the server's message number, when it refused
    QString errorText;
    qint64 rows = -1; // rows affected, as the driver reports them; -1 when it does not
    qint64 milliseconds = 0;

    // Refused: the number of the server's first message that is not a plain one, and the description.
    void failedWith(const DbError &e) {
        result = Result::Failed;
        errorText = e.description();
        for (const DiagRecord &r : e.records())
            if (!r.state.startsWith(QLatin1String("01"))) {
                errorNumber = r.native;
                break;
            }
    }
};

class StatementJournal {
public:
    virtual ~StatementJournal() = default;
    // Called on the thread that ran the statement. Never throws, never fails the statement.
    virtual void record(const SentStatement &statement) noexcept = 0;
};

} // namespace quorix

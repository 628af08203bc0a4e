#include "core/db/PreparedStatement.h"

#include "core/db/ScriptOnly.h"
#include "core/db/ServerConnectionSlot.h"
#include "core/db/StatementJournal.h"
#include "core/db/odbc/OdbcStatement.h"

#include <QElapsedTimer>

namespace quorix {

struct PreparedStatement::JournalTap {
    StatementJournal *journal = nullptr;
    SentStatement base; // the session and the text
    bool collected = false;
};

namespace {

std::vector<ParamType> parsed(const QStringList &types) {
    std::vector<ParamType> out;
    out.reserve(static_cast<size_t>(types.size()));
    for (const QString &t : types)
        out.push_back(ParamType::parse(t));
    return out;
}

} // namespace

PreparedStatement::PreparedStatement(ServerConnection &connection, const QString &statement,
                                     const QStringList &typeTexts) {
    std::vector<ParamType> types = parsed(typeTexts);
    const QString sql = castTextMarkers(statement, types);
    if (connection.journal() && classifySql(sql) != SqlKind::Read) {
        m_tap = std::make_shared<JournalTap>();
        m_tap->journal = connection.journal();
        m_tap->base = connection.journalRecord(sql);
    }
    if ((m_collected = connection.collects(sql, typeTexts))) {
        if (m_tap) {
            m_tap->collected = true;
            m_tap->base.database = connection.currentDatabase();
        }
        return;
    }
    auto slot = connection.m_slot;
    ServerConnection::Slot *s = slot.get();
    const int timeout = connection.commandTimeout();
    m_stmt = slot->run([s, &sql, &types, timeout] {
        return std::make_shared<odbc::Statement>(s->conn, sql, std::move(types), timeout);
    });
    m_slot = std::move(slot);
}

PreparedStatement::PreparedStatement(PreparedStatement &&other) noexcept
    : m_tap(std::move(other.m_tap)), m_slot(std::move(other.m_slot)), m_stmt(std::move(other.m_stmt)),
      m_collected(std::move(other.m_collected)) {}

PreparedStatement &PreparedStatement::operator=(PreparedStatement &&other) noexcept {
    if (this != &other) {
        close();
        m_tap = std::move(other.m_tap);
        m_slot = std::move(other.m_slot);
        m_stmt = std::move(other.m_stmt);
        m_collected = std::move(other.m_collected);
    }
    return *this;
}

void PreparedStatement::journal(qint64 rows, const Outcome &outcome, qint64 milliseconds,
                                const QString &database) const {
    SentStatement s = m_tap->base;
    s.time = QDateTime::currentDateTimeUtc().addMSecs(-milliseconds);
    s.rows = rows;
    s.milliseconds = milliseconds;
    if (!m_tap->collected)
        s.database = database;
    if (m_tap->collected)
        s.result = SentStatement::Result::NotSent;
    else if (outcome.serverError())
        s.failedWith(*outcome.serverError());
    else if (!outcome.ok()) {
        s.result = SentStatement::Result::Failed;
        s.errorText = QString::fromStdString(outcome.error());
    }
    m_tap->journal->record(s);
}

void PreparedStatement::setJournalText(const QString &text) {
    if (m_tap)
        m_tap->base.sql = text;
}

qint64 PreparedStatement::execute(const std::vector<QVariant> &values) {
    if (m_collected) {
        const qint64 count = m_collected->execute(values);
        if (m_tap)
            journal(count, Outcome(), 0, QString());
        return count;
    }
    if (!m_stmt)
        throw closedObjectError();
    odbc::Statement *stmt = m_stmt.get();
    if (!m_tap)
        return m_slot->run([stmt, &values] { return stmt->execute(values); });
    QElapsedTimer took;
    took.start();
    QString database;
    ServerConnection::Slot *slot = m_slot.get();
    try {
        const qint64 count = m_slot->run([stmt, slot, &values, &database] {
            try {
                const qint64 n = stmt->execute(values);
                database = slot->conn.currentCatalog();
                return n;
            } catch (const DbError &) {
                database = slot->conn.currentCatalog();
                throw;
            }
        });
        journal(count, Outcome(), took.elapsed(), database);
        return count;
    } catch (const DbError &e) {
        journal(-1, Outcome::failed(e), took.elapsed(), database);
        throw;
    }
}

std::vector<PreparedStatement::RowResult>
PreparedStatement::executeEach(const std::vector<std::vector<QVariant>> &rows) {
    if (m_collected) {
        std::vector<RowResult> out(rows.size());
        qint64 held = 0;
        for (size_t i = 0; i < rows.size(); ++i)
            held += (out[i].count = m_collected->execute(rows[i]));
        if (m_tap && !rows.empty())
            journal(held, Outcome(), 0, QString());
        return out;
    }
    if (!m_stmt)
        throw closedObjectError();
    odbc::Statement *stmt = m_stmt.get();
    if (!m_tap)
        return m_slot->run([stmt, &rows] { return eachOn(stmt, rows); });
    QElapsedTimer took;
    took.start();
    QString database;
    ServerConnection::Slot *slot = m_slot.get();
    std::vector<RowResult> out = m_slot->run([stmt, slot, &rows, &database] {
        std::vector<RowResult> r = eachOn(stmt, rows);
        database = slot->conn.currentCatalog();
        return r;
    });
    // One line for the rows of the call: what they affected, and the first refusal among them.
    qint64 affected = -1;
    Outcome first;
    for (const RowResult &r : out) {
        if (r.count >= 0)
            affected = (affected < 0 ? 0 : affected) + r.count;
        if (!r.outcome.ok() && first.ok())
            first = r.outcome;
    }
    if (!rows.empty())
        journal(affected, first, took.elapsed(), database);
    return out;
}

std::vector<PreparedStatement::RowResult>
PreparedStatement::eachOn(odbc::Statement *stmt, const std::vector<std::vector<QVariant>> &rows) {
    std::vector<RowResult> out(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        try {
            out[i].count = stmt->execute(rows[i]);
        } catch (const DbError &e) {
            out[i].outcome = Outcome::failed(e);
            // Cancelled, timed out or cut off: the rows after it are not tried.
            if (e.hasState(QStringLiteral("HY008")) || e.hasState(QStringLiteral("HYT00")) ||
                stmt->connectionLost()) {
                for (size_t rest = i + 1; rest < rows.size(); ++rest)
                    out[rest].outcome = out[i].outcome;
                break;
            }
        }
    }
    return out;
}

std::vector<std::vector<QVariant>> PreparedStatement::query(const std::vector<QVariant> &values) {
    if (m_collected) // reads are never kept back; a statement kept back returns nothing
        return {};
    if (!m_stmt)
        throw closedObjectError();
    odbc::Statement *stmt = m_stmt.get();
    return m_slot->run([stmt, &values] { return stmt->query(values); });
}

std::vector<ColumnInfo> PreparedStatement::columns() {
    if (m_collected)
        return {};
    if (!m_stmt)
        throw closedObjectError();
    odbc::Statement *stmt = m_stmt.get();
    const std::vector<odbc::Statement::Described> described =
        m_slot->run([stmt] { return stmt->describe(); });
    std::vector<ColumnInfo> out;
    for (const odbc::Statement::Described &d : described) {
        ColumnInfo c;
        c.name = d.column.name;
        c.typeName = d.column.typeName;
        c.sqlType = d.column.sqlType;
        c.size = static_cast<qint64>(d.column.size);
        c.precision = static_cast<int>(d.precision);
        c.scale = d.column.scale;
        c.nullable = d.column.nullable;
        c.identity = d.identity;
        out.push_back(std::move(c));
    }
    return out;
}

void PreparedStatement::close() noexcept {
    m_collected.reset();
    if (!m_stmt)
        return;
    // The statement belongs to the worker's thread; nobody waits for its release.
    try {
        m_slot->worker.post([stmt = std::move(m_stmt)] { stmt->close(); });
    } catch (...) {
    }
    m_stmt.reset();
    m_slot.reset();
}

} // namespace quorix

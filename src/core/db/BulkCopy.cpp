#include "core/db/BulkCopy.h"

#include "core/db/ServerConnectionSlot.h"
#include "core/db/SqlQuote.h"
#include "core/db/StatementJournal.h"

#include <QElapsedTimer>
#include <cstdint>

namespace quorix {

namespace {

bool writable(const ColumnInfo &c) {
    return !c.computed && !c.rowversion;
}

} // namespace

std::optional<std::vector<BcpRow::Column>> BulkCopy::columnsFor(const std::vector<ColumnInfo> &targetColumns,
                                                                const QStringList &names,
                                                                const QStringList &types) {
    if (names.size() != types.size())
        return std::nullopt;
    std::vector<BcpRow::Column> out;
    qsizetype next = 0;
    for (size_t i = 0; i < targetColumns.size(); ++i) {
        const ColumnInfo &c = targetColumns[i];
        if (!writable(c))
            continue;
        // Every column the table takes a value for is filled, in the table's order.
        if (next >= names.size() || names[next].compare(c.name, Qt::CaseInsensitive) != 0)
            return std::nullopt;
        try {
            const ParamType type = ParamType::parse(types[next]);
            if (!BcpRow::carries(type))
                return std::nullopt;
            out.push_back({static_cast<int>(i) + 1, type});
        } catch (const DbError &) {
            return std::nullopt;
        }
        ++next;
    }
    if (next != names.size() || out.empty())
        return std::nullopt;
    return out;
}

QString BulkCopy::tableName(const QString &qualifiedTable) {
    // The first ".." outside brackets is the default schema left out.
    bool inBracket = false;
    for (qsizetype i = 0; i + 1 < qualifiedTable.size(); ++i) {
        const QChar c = qualifiedTable[i];
        if (c == QLatin1Char('['))
            inBracket = true;
        else if (c == QLatin1Char(']'))
            inBracket = false;
        else if (!inBracket && c == QLatin1Char('.') && qualifiedTable[i + 1] == QLatin1Char('.'))
            return qualifiedTable.left(i) + QStringLiteral(".dbo.") + qualifiedTable.mid(i + 2);
    }
    return qualifiedTable;
}

BulkCopy::BulkCopy(const ServerConnection &session) : m_session(session), m_target(session.target()) {
    m_connection.setCommandTimeout(session.commandTimeout());
    m_connection.setBulkCopy(true);
}

BulkCopy::~BulkCopy() {
    close();
}

DbError BulkCopy::driverError(const QString &what) const {
    std::vector<DiagRecord> records = odbc::diagnostics(SQL_HANDLE_DBC, m_connection.m_slot->conn.handle());
    return DbError(std::move(records), what);
}

BulkCopy::Started BulkCopy::start(const QString &table, std::vector<BcpRow::Column> columns,
                                  const QStringList &names, bool keepIdentity) {
    m_table = table;
    QStringList quoted;
    for (const QString &n : names)
        quoted << sqlName(n);
    m_journalText = QStringLiteral("INSERT BULK ") + table + QStringLiteral(" (") +
                    quoted.join(QStringLiteral(", ")) + QLatin1Char(')');
    m_keepIdentity = keepIdentity;
    try {
        m_connection.open(m_target);
    } catch (const DbError &e) {
        m_failure = e;
        return Started::Failed;
    }
    ServerConnection::Slot *slot = m_connection.m_slot.get();
    m_driver = slot->run([slot] { return BcpDriver::find(slot->conn.handle()); });
    if (!m_driver) {
        close();
        return Started::NoFunctions;
    }
    m_row = std::make_unique<BcpRow>(std::move(columns), m_driver->textIsUtf16());
    if (!slot->run([this] { return begin(); })) {
        close();
        return Started::Failed;
    }
    return Started::Yes;
}

bool BulkCopy::begin() {
    if (m_keepIdentity) {
        // The values of the identity column are kept as the copy promises; a driver that sets it by
        // itself for the option below finds it set already.
        try {
            m_connection.m_slot->conn.execute(QStringLiteral("SET IDENTITY_INSERT ") + m_table +
                                                  QStringLiteral(" ON"),
                                              m_connection.commandTimeout());
        } catch (const DbError &) {
        }
    }
    // The option's value is the flag itself, as a pointer.
    void *keep = reinterpret_cast<void *>(std::intptr_t{1});
    if (!m_driver->init(m_table)) {
        m_failure = driverError(QStringLiteral("The bulk copy into ") + m_table +
                                QStringLiteral(" could not start."));
        return false;
    }
    if ((m_keepIdentity && !m_driver->control(BcpDriver::kKeepIdentity, keep)) || !m_row->bind(*m_driver)) {
        m_failure = driverError(QStringLiteral("The bulk copy into ") + m_table +
                                QStringLiteral(" could not start."));
        m_driver->done();
        return false;
    }
    m_begun = true;
    return true;
}

BulkCopy::Sent BulkCopy::send(const std::vector<std::vector<QVariant>> &rows) {
    Sent sent;
    if (m_ended || !m_driver) {
        sent.ended = true;
        return sent;
    }
    ServerConnection::Slot *slot = m_connection.m_slot.get();
    QElapsedTimer took;
    took.start();
    slot->run([&] {
        if (!m_begun && !begin()) {
            sent.ended = true;
            return;
        }
        for (const std::vector<QVariant> &row : rows) {
            if (!m_row->fill(row))
                break; // this row and those after it go another way; the batch ends here
            if (!m_driver->sendRow()) {
                // Part of the row may have gone: the stream cannot be trusted any more.
                m_failure = driverError(QStringLiteral("A row could not be sent."));
                sent.ended = true;
                return;
            }
            ++sent.taken;
        }
        if (sent.taken == 0)
            return;
        const int stored = m_driver->batch();
        if (stored < 0)
            sent.refused = driverError(QStringLiteral("The server refused a batch of rows."));
        journal(stored, sent.refused, took.elapsed());
        if (sent.refused) {
            // The driver ends the load it could not commit; the next batch starts one anew.
            m_driver->done();
            m_begun = false;
        }
    });
    if (sent.ended) {
        m_ended = true;
        close();
    }
    return sent;
}

void BulkCopy::journal(qint64 rows, const std::optional<DbError> &refused, qint64 milliseconds) {
    StatementJournal *journal = m_session.journal();
    if (!journal)
        return;
    SentStatement s = m_session.journalRecord(m_journalText);
    s.time = QDateTime::currentDateTimeUtc().addMSecs(-milliseconds);
    s.milliseconds = milliseconds;
    s.rows = refused ? -1 : rows;
    s.database = m_connection.m_slot->conn.currentCatalog();
    if (refused)
        s.failedWith(*refused);
    journal->record(s);
}

void BulkCopy::close() noexcept {
    if (m_driver && m_begun && !m_ended) {
        try {
            ServerConnection::Slot *slot = m_connection.m_slot.get();
            slot->run([this] { m_driver->done(); });
        } catch (...) {
        }
    }
    m_begun = false;
    m_ended = true;
    m_connection.close();
    m_driver.reset();
}

} // namespace quorix

#include "core/db/Recordset.h"

#include "core/db/ScriptOnly.h"
#include "core/db/ServerConnectionSlot.h"
#include "core/db/StatementJournal.h"

#include <QDate>
#include <QDateTime>
#include <QElapsedTimer>
#include <optional>

namespace quorix {

namespace {

struct Opened {
    std::shared_ptr<odbc::Cursor> cursor;
    std::vector<FieldInfo> fields;
    std::vector<odbc::Row> first;
};

} // namespace

Recordset::Recordset(Recordset &&other) noexcept {
    moveFrom(other);
}

Recordset &Recordset::operator=(Recordset &&other) noexcept {
    if (this != &other) {
        close();
        moveFrom(other);
    }
    return *this;
}

void Recordset::moveFrom(Recordset &other) noexcept {
    m_slot = std::move(other.m_slot);
    m_cursor = std::move(other.m_cursor);
    m_fields = std::move(other.m_fields);
    m_rows = std::move(other.m_rows);
    m_open = std::exchange(other.m_open, false);
    m_more = std::exchange(other.m_more, false);
    m_passed = std::exchange(other.m_passed, 0);
    m_failure = std::exchange(other.m_failure, std::nullopt);
}

void Recordset::open(ServerConnection &connection, const QString &sql, Reading reading) {
    close();
    // A query that changes something (SELECT ... INTO, a TRUNCATE sent this way) is journaled like any
    // other statement; a read is not.
    StatementJournal *journal = connection.journal();
    const bool journaled = journal && classifySql(sql) != SqlKind::Read;
    std::optional<SentStatement> record;
    if (journaled)
        record = connection.journalRecord(sql);
    if (!connection.sends(sql)) {
        if (record) {
            record->result = SentStatement::Result::NotSent;
            record->database = connection.currentDatabase();
            journal->record(*record);
        }
        return; // collected by "Script only": stays closed, like a statement without rows
    }
    auto slot = connection.m_slot;
    const int timeout = connection.commandTimeout();
    const size_t firstRows = reading == Reading::WholeBatch ? SIZE_MAX : kBlockRows;
    // The statement and its first block of rows (or all of them) in one trip to the worker.
    ServerConnection::Slot *s = slot.get();
    QElapsedTimer took;
    took.start();
    Opened opened;
    try {
        opened = slot->run([s, &sql, timeout, firstRows, &record] {
            const auto catalog = [&] {
                if (record)
                    record->database = s->conn.currentCatalog();
            };
            Opened o;
            try {
                o.cursor = s->conn.openCursor(sql, timeout);
                for (const odbc::Column &c : o.cursor->columns())
                    o.fields.push_back(FieldInfo{c.name, c.sqlType, c.typeName});
                if (!o.fields.empty())
                    o.first = o.cursor->fetch(firstRows);
            } catch (const DbError &) {
                catalog();
                throw;
            }
            catalog();
            if (std::optional<DbError> failure = o.cursor->failure())
                throw *failure; // the cursor goes with the job, on the worker
            return o;
        });
    } catch (const DbError &e) {
        if (record) {
            record->milliseconds = took.elapsed();
            record->failedWith(e);
            journal->record(*record);
        }
        throw;
    }
    if (record) {
        record->milliseconds = took.elapsed();
        journal->record(*record);
    }
    close(); // something run while we waited may have opened this result set meanwhile
    m_slot = slot;
    m_cursor = std::move(opened.cursor);
    if (opened.fields.empty())
        return; // no rows with columns: stays closed, like the classic client
    m_fields = std::move(opened.fields);
    for (odbc::Row &r : opened.first)
        m_rows.push_back(std::move(r));
    m_open = true;
    m_more = !m_cursor->atEnd();
}

void Recordset::close() noexcept {
    if (m_cursor && m_slot) {
        // The statement belongs to the worker's thread; nobody waits for its release.
        try {
            m_slot->worker.post([cursor = m_cursor] { cursor->close(); });
        } catch (...) {
        }
    }
    m_cursor.reset();
    m_slot.reset();
    m_fields.clear();
    m_rows.clear();
    m_open = false;
    m_more = false;
    m_passed = 0;
    m_failure.reset();
}

void Recordset::requireOpen() const {
    if (!m_open)
        throw closedObjectError();
}

void Recordset::fill() {
    if (!m_rows.empty() || !m_more)
        return;
    auto cursor = m_cursor;
    auto slot = m_slot;
    struct Block {
        std::vector<odbc::Row> rows;
        bool atEnd = false;
        std::optional<DbError> failure;
    };
    Block block = slot->run([cursor] {
        Block b{cursor->fetch(kBlockRows), cursor->atEnd(), std::nullopt};
        if (b.atEnd)
            b.failure = cursor->failure();
        return b;
    });
    if (m_cursor != cursor)
        return; // reopened or closed while we waited
    for (odbc::Row &r : block.rows)
        m_rows.push_back(std::move(r));
    m_more = !block.atEnd;
    m_failure = std::move(block.failure);
}

bool Recordset::eof() const {
    requireOpen();
    return m_rows.empty();
}

void Recordset::moveNext() {
    requireOpen();
    if (m_rows.empty())
        throw DbError::ofText(QStringLiteral("24000"), 3021, QLatin1String(dbtext::noCurrentRecord));
    m_rows.pop_front();
    ++m_passed;
    fill();
    if (m_rows.empty() && m_failure) // thrown once; the result set stays at its end
        throw *std::exchange(m_failure, std::nullopt);
}

int Recordset::fieldCount() const {
    requireOpen();
    return static_cast<int>(m_fields.size());
}

const FieldInfo &Recordset::field(int index) const {
    requireOpen();
    if (index < 0 || index >= static_cast<int>(m_fields.size()))
        throw unknownFieldError();
    return m_fields[static_cast<size_t>(index)];
}

QStringList Recordset::fieldNames() const {
    requireOpen();
    QStringList names;
    for (const FieldInfo &f : m_fields)
        names << f.name;
    return names;
}

int Recordset::fieldIndex(const QString &name) const {
    for (size_t i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}

const std::vector<QVariant> &Recordset::row() const {
    requireOpen();
    if (m_rows.empty())
        throw DbError::ofText(QStringLiteral("24000"), 3021, QLatin1String(dbtext::noCurrentRecord));
    return m_rows.front();
}

QVariant Recordset::value(int index) const {
    const std::vector<QVariant> &r = row();
    if (index < 0 || index >= static_cast<int>(r.size()))
        throw unknownFieldError();
    return r[static_cast<size_t>(index)];
}

QVariant Recordset::value(const QString &name) const {
    requireOpen();
    const int index = fieldIndex(name);
    if (index < 0)
        throw unknownFieldError();
    return value(index);
}

QString Recordset::displayText(const QVariant &value) {
    if (!value.isValid() || value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::QDateTime: {
        const QDateTime t = value.toDateTime();
        return t.toString(t.time().msec() ? QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")
                                          : QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    }
    case QMetaType::QDate:
        return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', 15);
    case QMetaType::QByteArray:
        return QStringLiteral("0x") + QString::fromLatin1(value.toByteArray().toHex().toUpper());
    default:
        return value.toString();
    }
}

qint64 Recordset::recordCount() {
    requireOpen();
    if (!m_more)
        return m_passed + static_cast<qint64>(m_rows.size());
    auto cursor = m_cursor;
    auto slot = m_slot;
    const size_t rest = slot->run([cursor] {
        cursor->spill();
        return cursor->buffered();
    });
    if (m_cursor != cursor)
        return recordCount(); // reopened or closed while we waited: count what is open now, if anything
    return m_passed + static_cast<qint64>(m_rows.size()) + static_cast<qint64>(rest);
}

std::vector<DiagRecord> Recordset::messages() const {
    if (!m_cursor || !m_slot)
        return {};
    auto cursor = m_cursor;
    auto slot = m_slot;
    return slot->run([cursor] { return cursor->messages(); });
}

} // namespace quorix

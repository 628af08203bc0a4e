#include "core/db/DbError.h"

namespace quorix {

DbError::DbError(std::vector<DiagRecord> records, QString fallback)
    : m_records(std::move(records)), m_fallback(std::move(fallback)) {
    m_what = description().toUtf8();
}

DbError DbError::ofText(const QString &state, int native, const QString &message) {
    return DbError({DiagRecord{state, native, message}});
}

QString DbError::description() const {
    for (const DiagRecord &r : m_records)
        if (!r.state.startsWith(QLatin1String("01")))
            return r.message;
    if (!m_records.empty())
        return m_records.front().message;
    return m_fallback.isEmpty() ? QStringLiteral("Unknown database error.") : m_fallback;
}

bool DbError::hasState(const QString &state) const {
    for (const DiagRecord &r : m_records)
        if (r.state == state)
            return true;
    return false;
}

} // namespace quorix

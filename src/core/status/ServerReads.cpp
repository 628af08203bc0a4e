#include "core/status/ServerReads.h"

namespace quorix::status {

ServerReads::ServerReads(std::function<ConnectionTarget(int slot)> target) : m_target(std::move(target)) {}

ResultTable ServerReads::read(int slot, const QString &sql) {
    const auto i = static_cast<size_t>(slot == 0 ? 0 : 1);
    const ConnectionTarget wanted = m_target(slot);
    if (wanted != m_used[i]) {
        m_readers[i] = ServerReader(wanted);
        if (m_timeout) {
            m_readers[i].setLoginTimeout(*m_timeout);
            m_readers[i].setCommandTimeout(*m_timeout);
        }
        m_used[i] = wanted;
    }
    ServerReader &reader = m_readers[i];
    try {
        ResultTable table;
        reader.open(sql);
        if (reader.eof())
            return table; // no rows, or a statement without a result: nothing to look up
        table.columns = reader.fieldNames();
        for (; !reader.eof(); reader.moveNext())
            table.rows.push_back(reader.row());
        return table;
    } catch (const DbError &) {
        reader.close();
        throw;
    }
}

} // namespace quorix::status

#pragma once

// The speed test's table as a scripted server keeps it, for the TEST tab's tests and benchmark: it answers
// the tab's four statements (whatever database they name) and refuses them as the server would when the
// table is missing or, for CREATE TABLE, already there.

#include "tds/ScriptedServer.h"

#include <mutex>
#include <optional>
#include <string>

namespace quorix::testing {

// The test table as the server keeps it: whether it exists and how many rows it holds.
class SpeedTable {
public:
    void set(bool exists, int rows) {
        std::lock_guard lock(m_mutex);
        m_exists = exists;
        m_rows = rows;
    }
    int rows() const {
        std::lock_guard lock(m_mutex);
        return m_rows;
    }
    std::optional<tds::Reply> answer(const std::string &text) {
        std::lock_guard lock(m_mutex);
        auto starts = [&](const char *prefix) { return text.rfind(prefix, 0) == 0; };
        if (starts("CREATE TABLE ")) {
            if (m_exists)
                return tds::Reply::error(2714,
                                         "There is already an object named 'SpeedTest' in the database.");
            m_exists = true;
            return tds::Reply::done();
        }
        if (!m_exists)
            return tds::Reply::error(208, "Invalid object name 'QRIX..SpeedTest'.");
        if (starts("insert into ")) {
            ++m_rows;
            return tds::Reply::count(1);
        }
        if (starts("delete top (1) from ")) {
            if (m_rows == 0)
                return tds::Reply::count(0);
            --m_rows;
            return tds::Reply::count(1);
        }
        if (starts("select top 5000 * from ")) {
            tds::ResultSet set{{tds::makeColumn("DESC2", "varchar(100)")}, {}};
            for (int i = 1; i <= m_rows; ++i)
                set.rows.push_back({std::to_string(i)});
            return tds::Reply::rows(set);
        }
        return std::nullopt;
    }

private:
    mutable std::mutex m_mutex;
    bool m_exists = false;
    int m_rows = 0;
};

} // namespace quorix::testing

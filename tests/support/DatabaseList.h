#pragma once

// The window's database list query as a scripted server receives it, and a reply to it.

#include "tds/ScriptedServer.h"

#include <string>
#include <vector>

namespace quorix::testing {

// Written out rather than taken from the program, so a change to the statement shows in the tests.
inline const std::string kList = "SELECT name FROM sys.databases where database_id >= 5 order by name ";

inline tds::Reply databaseRows(const std::vector<std::string> &names) {
    tds::ResultSet set{{{"name", tds::SqlType::NVarChar, 128}}, {}};
    for (const auto &n : names)
        set.rows.push_back({n});
    return tds::Reply::rows(set);
}

} // namespace quorix::testing

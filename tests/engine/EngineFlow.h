#pragma once

// The fixture of a flow through the real program against the engine: fresh databases qrix and qrix2 (the
// tool's current database and its second database), linked as sa's are on SQL Server; the program's steps
// up to a table of the browser; a run of the program; a table read back.

#include "Engine.h"
#include "ToolRun.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace quorix::testing::engine {

using tds::testing::TextRow;

class EngineFlow : public ::testing::Test {
protected:
    static constexpr int kToolTimeoutMs = 300000;

    void SetUp() override {
        QUORIX_SKIP_WITHOUT_ENGINE();
        EngineDb master;
        freshDatabase(master, "qrix");
        freshDatabase(master, "qrix2");
        linkDatabases("master qrix qrix2");
    }

    // Refresh Main's list, double-click qrix in it (the browser lists its tables), make row `table` current.
    QStringList toTable(int table) {
        EngineDb master;
        const std::vector<TextRow> names =
            master.rows("SELECT name FROM sys.databases WHERE database_id >= 5 ORDER BY name");
        int row = 0;
        while (row < static_cast<int>(names.size()) && names[static_cast<size_t>(row)][0] != "qrix")
            ++row;
        return {"--click",        "cmdRefreshDB(0)", "--select", QStringLiteral("GridDB(0)=%1").arg(row),
                "--double-click", "GridDB(0)",       "--select", QStringLiteral("Grid2=%1").arg(table)};
    }

    ToolRun run(const QStringList &steps, bool mirror = false) {
        return runTool(toolArgs(steps, mirror), home.path(), kToolTimeoutMs);
    }

    static std::vector<TextRow> everyRow(const std::string &db, const std::string &table) {
        EngineDb d(db);
        return d.rows("SELECT * FROM dbo." + table + " ORDER BY 1");
    }

    QTemporaryDir home;
};

} // namespace quorix::testing::engine

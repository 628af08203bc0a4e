#pragma once

// The real window (offscreen) against the kit's scripted Main (tests/support/window/WindowKit.h), for the
// table tools of the Copy tab. The current database is QRIX and the table browser lists the tables a test
// gives. The server knows:
//   - the tables a test puts into its table model (main->tables()), which answers the source read, a
//     target's column lookup, IDENTITY_INSERT and the prepared INSERTs, and holds the rows that arrive;
//   - the user tables of the existence check (userTables), answered by the name inside N'...';
// everything else gets a plain DONE unless a test adds a rule.

#include "WindowKit.h"
#include "gui/app/frmMain.h"
#include "gui/tablecopy/RecordCopy.h"
#include "gui/ui/widgets/Grid.h"
#include "tds/TableModel.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <mutex>
#include <set>

namespace quorix::testing {

using tds::makeColumn;
using tds::Reply;
using tds::Rule;

// An identity column of the table model.
inline tds::Column identityColumn(const std::string &name) {
    tds::Column c = makeColumn(name, "int", false);
    c.identity = true;
    return c;
}

class TableCopyWindow : public WindowTest {
protected:
    void SetUp() override {
        startMain();
        main->addRule(tds::Rule::exact(kList, databaseRows({"QRIX", "QRIX2"})));
        main->addRule(tds::Rule::callback(
            [this](const std::string &text, const tds::ConnectionState &) -> std::optional<tds::Reply> {
                const auto from = text.find("N'") + 2;
                const std::string name = text.substr(from, text.find("')", from) - from);
                std::lock_guard lock(m_mutex);
                if (!userTables.count(name))
                    return tds::Reply::rows({{tds::makeColumn("name", "nvarchar(128)")}, {}});
                return tds::Reply::rows({{tds::makeColumn("name", "nvarchar(128)")}, {{name}}});
            },
            "SELECT \\* FROM sys\\.objects WHERE object_id = OBJECT_ID\\(N'.*'\\) AND type in \\(N'U'\\)"));
        w.start();
        // The block path, whose statements the tests read; the bulk path's tests switch it back on.
        w.window().recordCopy().setBulkCopy(false);
        f().txtDB->setText("QRIX");
        browse(QStringList{"Patients", "Orders", "Wards"});
        reset();
    }

    // Forgets what was sent and logged so far.
    void reset() {
        main->clearRecord();
        f().txtLog->clear();
        f().txtErrs->clear();
    }

    // The table browser as a double click fills it (name, schema), the first row current.
    void browseTables(const std::vector<std::pair<QString, QString>> &tables) {
        std::vector<QStringList> rows;
        for (const auto &[name, schema] : tables)
            rows.push_back({name, schema, "0", "8", "8", "0"});
        f().Grid2->setData(
            {"TableName", "SchemaName", "RowCounts", "TotalSpaceKB", "UsedSpaceKB", "UnusedSpaceKB"},
            std::move(rows));
        if (!tables.empty())
            f().Grid2->setRow(0);
    }
    void browse(const QStringList &names) {
        std::vector<std::pair<QString, QString>> tables;
        for (const QString &n : names)
            tables.emplace_back(n, QStringLiteral("dbo"));
        browseTables(tables);
    }

    // A table of the model (name as the statements write it: "QRIX..Patients").
    void table(const std::string &name, const std::vector<tds::Column> &columns,
               const std::vector<tds::Row> &rows = {}) {
        main->tables().set(name, columns, rows);
    }
    std::vector<tds::Row> rowsOf(const std::string &name) { return main->tables().rows(name); }

    // The SQL batches Main received, the source reads and the column lookups included.
    std::vector<std::string> sent() { return WindowTest::sent(0); }
    // The same without the statements of a target's column lookup (its catalog read).
    std::vector<std::string> statements() {
        std::vector<std::string> out;
        for (const std::string &b : main->batches())
            if (b.rfind("SELECT c.name, c.is_identity", 0) != 0)
                out.push_back(b);
        return out;
    }
    // The executions of the INSERTs prepared for target: each one's statement, and every row's values (an
    // execution of a block carries several rows, as many as its first list of markers is long).
    struct Inserts {
        std::vector<std::string> sql;
        std::vector<tds::Row> rows;
        std::vector<tds::SqlType> types; // of the first row
    };
    Inserts inserts(const std::string &target) {
        Inserts out;
        for (const tds::Event &e : main->rpcs()) {
            if ((e.procedure != "sp_prepexec" && e.procedure != "sp_execute") ||
                e.text.rfind("INSERT INTO " + target + " (", 0) != 0)
                continue;
            out.sql.push_back(e.text);
            // The markers of the first row: up to the ")" that closes its "(" (a CAST has its own).
            size_t width = 0;
            int depth = 0;
            for (size_t p = e.text.find(" VALUES (") + 8; p < e.text.size(); ++p) {
                depth += e.text[p] == '(' ? 1 : e.text[p] == ')' ? -1 : 0;
                if (depth == 0)
                    break;
                width += e.text.compare(p, 2, "@P") == 0 ? 1 : 0;
            }
            if (out.types.empty())
                for (size_t i = 0; i < width && i < e.params.size(); ++i)
                    out.types.push_back(e.params[i].type);
            for (size_t at = 0; width > 0 && at + width <= e.params.size(); at += width) {
                tds::Row row;
                for (size_t i = at; i < at + width; ++i)
                    row.push_back(e.params[i].value);
                out.rows.push_back(std::move(row));
            }
        }
        return out;
    }

    // Read by the server's rules until the kit stops it.
    std::mutex m_mutex;
    std::set<std::string> userTables; // read by the server's existence check; set before a press
};

// An error as the driver words it in the log.
inline QString serverError(const std::string &message) {
    return QStringLiteral("[FreeTDS][SQL Server]") + QString::fromStdString(message);
}

} // namespace quorix::testing

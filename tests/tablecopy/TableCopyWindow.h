#pragma once

// The real window (offscreen) against a scripted Main server on 127.0.0.2 (any free port), for the table
// tools of the Copy tab. The current database is QRIX and the table browser lists the tables a test gives.
// The server knows:
//   - tables declared with serveTable(): the source read "SELECT * FROM <name>" (on the reader's own
//     connection), and what a target's column lookup reads (the description of SELECT TOP 0 * and the
//     catalog's flags);
//   - the user tables of the existence check (userTables), answered by the name inside N'...';
// everything else gets a plain DONE unless a test adds a rule. Inserts are read back from the recorded RPC
// parameters.

#include "DatabaseList.h"
#include "DbTestSupport.h"
#include "TestText.h"
#include "WindowFixture.h"
#include "db/TableColumns.h"
#include "ui/widgets/Grid.h"

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

// A column's catalog flags for serveTable().
struct Flags {
    bool identity = false;
    bool computed = false;
    bool rowversion = false;
};

class TableCopyWindow : public ::testing::Test {
protected:
    void SetUp() override {
        main = startServer("127.0.0.2", "pwMain");
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
        w.preset("MIR", "txtServer0", serverBox(*main));
        w.preset("MIR", "DB0", "pwMain");
        w.start();
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

    Form &f() { return w.form(); }
    void click(const QString &name) { w.find<QPushButton>(name)->click(); }

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

    // A table the server can read (name as the statements write it: "QRIX..Patients").
    void serveTable(const std::string &name, const std::vector<tds::Column> &columns,
                    const std::vector<tds::Row> &rows = {}, const std::vector<Flags> &flags = {}) {
        main->addRule(tds::Rule::exact("SELECT * FROM " + name, tds::Reply::rows({columns, rows})));
        main->addRule(tds::Rule::exact("SELECT TOP 0 * FROM " + name, tds::Reply::rows({columns, {}})));
        tds::ResultSet catalog{{tds::makeColumn("name", "nvarchar(128)"),
                                tds::makeColumn("is_identity", "bit"), tds::makeColumn("is_computed", "bit"),
                                tds::makeColumn("is_rowversion", "bit")},
                               {}};
        for (size_t i = 0; i < columns.size(); ++i) {
            const Flags f = i < flags.size() ? flags[i] : Flags{};
            catalog.rows.push_back(
                {columns[i].name, f.identity ? "1" : "0", f.computed ? "1" : "0", f.rowversion ? "1" : "0"});
        }
        main->addRule(tds::Rule::exact(tableColumnsCatalogQuery(QString::fromStdString(name)).toStdString(),
                                       tds::Reply::rows(catalog)));
    }

    // The SQL batches Main received, the source reads and the column lookups included.
    std::vector<std::string> sent() { return main->batches(); }
    // The same without the statements of a target's column lookup (its catalog read).
    std::vector<std::string> statements() {
        std::vector<std::string> out;
        for (const std::string &b : main->batches())
            if (b.rfind("SELECT c.name, c.is_identity", 0) != 0)
                out.push_back(b);
        return out;
    }
    // The executions of the INSERT prepared for target: its statement and every row's values.
    struct Inserts {
        std::string sql;
        std::vector<tds::Row> rows;
        std::vector<tds::SqlType> types; // of the first row
    };
    Inserts inserts(const std::string &target) {
        Inserts out;
        for (const tds::Event &e : main->rpcs()) {
            if ((e.procedure != "sp_prepexec" && e.procedure != "sp_execute") ||
                e.text.rfind("INSERT INTO " + target + " (", 0) != 0)
                continue;
            out.sql = e.text;
            tds::Row row;
            for (const tds::Param &p : e.params)
                row.push_back(p.value);
            if (out.rows.empty())
                for (const tds::Param &p : e.params)
                    out.types.push_back(p.type);
            out.rows.push_back(std::move(row));
        }
        return out;
    }

    // Log pane lines, oldest first.
    QStringList logged() {
        QStringList lines = textLines(f().txtLog->toPlainText());
        std::reverse(lines.begin(), lines.end());
        return lines;
    }
    QStringList errorPane() {
        QStringList lines = textLines(f().txtErrs->toPlainText());
        std::reverse(lines.begin(), lines.end());
        return lines;
    }

    // Declared before the server, which reads them until it stops, and the window before both.
    std::mutex m_mutex;
    std::set<std::string> userTables; // read by the server's existence check; set before a press
    std::unique_ptr<tds::ScriptedServer> main;
    WindowFixture w;
};

// An error as the driver words it in the log.
inline QString serverError(const std::string &message) {
    return QStringLiteral("[FreeTDS][SQL Server]") + QString::fromStdString(message);
}

} // namespace quorix::testing

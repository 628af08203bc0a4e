// Figures, not a test: a refresh of a 5,000-database list and a double click listing 50,000 tables, on the
// real window (offscreen) through the real driver against the scripted server.

#include "DbTestSupport.h"
#include "core/db/ServerSessions.h"
#include "gui/app/frmMain.h"
#include "gui/ui/DatabaseLists.h"
#include "gui/ui/Form.h"
#include "gui/ui/widgets/Grid.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <cstdio>

using namespace quorix;
using namespace quorix::testing;
using tds::Reply;
using tds::ResultSet;
using tds::Rule;

int main(int argc, char *argv[]) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QApplication app(argc, argv);

    auto server = startServer("127.0.0.2", "pw");
    ResultSet dbs{{tds::makeColumn("name", "nvarchar(128)")}, {}};
    for (int i = 0; i < 5000; ++i)
        dbs.rows.push_back({"Database_" + std::to_string(100000 + i)});
    server->addRule(Rule::exact(utf8(DatabaseLists::kListStatement), Reply::rows(dbs)));
    ResultSet tables{{tds::makeColumn("TableName", "nvarchar(128)"),
                      tds::makeColumn("SchemaName", "nvarchar(128)"), tds::makeColumn("RowCounts", "bigint"),
                      tds::makeColumn("TotalSpaceKB", "bigint"), tds::makeColumn("UsedSpaceKB", "bigint"),
                      tds::makeColumn("UnusedSpaceKB", "bigint")},
                     {}};
    for (int i = 0; i < 50000; ++i)
        tables.rows.push_back(
            {"tbTable_" + std::to_string(i), "dbo", std::to_string(i * 7), "1024", "1000", "24"});
    server->addRule(Rule::exact(utf8(DatabaseLists::kTableSizeStatement), Reply::rows(tables)));

    frmMain window;
    window.Form_Load();
    Form &f = window.form();
    f.txtServer[0]->setText(serverBox(*server));
    f.txtPW[0]->setText("pw");
    // The scripted server here offers no encryption: it is reached as an old server is.
    f.cboEncryption[0]->setCurrentText(QStringLiteral("Optional"));
    window.sessions().OpenServerSession(0);

    QElapsedTimer t;
    t.start();
    window.databaseLists().cmdRefreshDB_Click(0);
    const double refreshMs = t.nsecsElapsed() / 1e6;
    f.txtDB->setText("Database_100000");
    t.restart();
    window.databaseLists().GridDB_DblClick(0);
    const double tablesMs = t.nsecsElapsed() / 1e6;

    std::printf("refresh of %d databases: %.1f ms (target < 1000 ms)\n", f.GridDB[0]->rows(), refreshMs);
    std::printf("double click listing %d tables: %.1f ms (target < 1000 ms)\n", f.Grid2->rows(), tablesMs);
    return f.GridDB[0]->rows() == 5000 && f.Grid2->rows() == 50000 ? 0 : 1;
}

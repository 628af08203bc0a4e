// Figures, not a test: the TEST tab's four presses on the real window (offscreen) through the real driver
// against the scripted server, next to the times their captions promise.

#include "DbTestSupport.h"
#include "SpeedTable.h"
#include "gui/app/frmMain.h"
#include "gui/ui/Form.h"
#include "gui/ui/Prompt.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>

using namespace quorix;
using namespace quorix::testing;

int main(int argc, char *argv[]) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QApplication app(argc, argv);
    Prompt::setScripted(true); // a failure is printed, not waited on

    auto server = startServer("127.0.0.2", "garden@584");
    SpeedTable table;
    server->addRule(tds::Rule::callback(
        [&table](const std::string &text, const tds::ConnectionState &) { return table.answer(text); }));

    frmMain window;
    window.Form_Load();
    Form &f = window.form();
    // The scripted server here offers no encryption: it is reached as an old server is.
    f.cboEncryption[0]->setCurrentText(QStringLiteral("Optional"));
    f.txtTESTConnection->setText("Provider=SQLOLEDB;Persist Security Info=True;Server=" + serverBox(*server) +
                                 ";UID=sa;Database=MASTER;Password=garden@584");
    bool allTimed = true;
    for (int index : {0, 1, 3, 2}) {
        f.cmdTest[static_cast<size_t>(index)]->click();
        const QString time = f.lblTime->text();
        allTimed = allTimed && !time.isEmpty();
        std::printf("%-16s %s s (rows in the table now: %d)\n",
                    f.cmdTest[static_cast<size_t>(index)]->text().toUtf8().constData(),
                    time.toUtf8().constData(), table.rows());
    }
    return allTimed && server->batches().size() == 10002 ? 0 : 1;
}

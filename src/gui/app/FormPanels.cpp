// What stands outside the tab strip: the database lists and table browser beside it, the log and error
// panes with STOP below it.

#include "gui/app/FormBuilder.h"
#include "gui/ui/Form.h"
#include "gui/ui/widgets/FileList.h"
#include "gui/ui/widgets/Grid.h"
#include "gui/ui/widgets/LogPane.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

namespace quorix {

using namespace ui;

QWidget *buildDatabasePanel(Form &form) {
    auto *panel = new QWidget;
    auto *v = new QVBoxLayout(panel);
    v->setContentsMargins(0, 0, 0, 0);

    auto *lists = new QGridLayout;
    for (int s = 0; s < 2; ++s) {
        const auto i = static_cast<size_t>(s);
        form.GridDB[i] = grid(indexed("GridDB", s));
        form.GridDB[i]->setToolTip(QLatin1String(s == 0 ? "Main's databases" : "Mirror's databases"));
        form.cmdRefreshDB[i] = button(indexed("cmdRefreshDB", s), QStringLiteral("RefreshDB"));
        form.lblDBCount[i] = label(indexed("lblDBCount", s), QStringLiteral("count"));
        auto *head = new QHBoxLayout;
        head->addWidget(new QLabel(QLatin1String(s == 0 ? "Main" : "Mirror")));
        head->addWidget(form.cmdRefreshDB[i]);
        head->addWidget(form.lblDBCount[i]);
        head->addStretch(1);
        lists->addLayout(head, 0, s);
        lists->addWidget(form.GridDB[i], 1, s);
    }
    v->addLayout(lists, 3);

    form.Label4 = label(QStringLiteral("Label4"), QStringLiteral("Database"));
    form.txtDB = edit(QStringLiteral("txtDB"), QStringLiteral("QRIX"));
    auto *db = new QHBoxLayout;
    db->addWidget(form.Label4);
    db->addWidget(form.txtDB, 1);
    v->addLayout(db);

    form.Grid2 = grid(QStringLiteral("Grid2"));
    v->addWidget(form.Grid2, 3);

    form.FileA = fileList(QStringLiteral("FileA"), QStringLiteral("*"));
    form.FileB = fileList(QStringLiteral("FileB"), QStringLiteral("*"));
    form.FileA->setToolTip(QStringLiteral("Main's transfer folder"));
    form.FileB->setToolTip(QStringLiteral("Mirror's transfer folder"));
    auto *transfer = new QHBoxLayout;
    transfer->addWidget(form.FileA);
    transfer->addWidget(form.FileB);
    v->addLayout(transfer, 1);
    return panel;
}

QWidget *buildLogPanel(Form &form) {
    auto *panel = new QWidget;
    auto *v = new QVBoxLayout(panel);
    v->setContentsMargins(0, 0, 0, 0);

    form.txtLog = new LogPane;
    form.txtErrs = new LogPane;
    memo(QStringLiteral("txtLog"), false, form.txtLog);
    memo(QStringLiteral("txtErrs"), false, form.txtErrs);
    form.txtLog->setPlaceholderText(QStringLiteral("log"));
    form.txtErrs->setPlaceholderText(QStringLiteral("errors"));
    auto *panes = new QSplitter(Qt::Horizontal);
    panes->addWidget(form.txtLog);
    panes->addWidget(form.txtErrs);
    panes->setStretchFactor(0, 3);
    panes->setStretchFactor(1, 2);
    v->addWidget(panes, 1);

    form.chkStop = check(QStringLiteral("chkStop"), QStringLiteral("STOP"));
    QFont bold = form.chkStop->font();
    bold.setBold(true);
    form.chkStop->setFont(bold);
    form.cmdCancel = button(QStringLiteral("cmdCancel"), QStringLiteral("Cancel"));
    form.cmdCancel->setToolTip(QStringLiteral("Cancel the running statement"));
    form.cmdSaveLog = button(QStringLiteral("cmdSaveLog"), QStringLiteral("Save log"));
    form.cmdSaveLog->setToolTip(QStringLiteral("Write the log pane's lines to a file"));
    form.lblWorking = label(QStringLiteral("lblWorking"), QStringLiteral("working"));
    form.lblCnt = label(QStringLiteral("lblCnt"), QStringLiteral("0"));
    form.txtBuffer = edit(QStringLiteral("txtBuffer"));
    form.txtBuffer->setMaximumWidth(120);
    auto *controls = new QHBoxLayout;
    controls->addWidget(form.chkStop);
    controls->addWidget(form.cmdCancel);
    controls->addWidget(form.cmdSaveLog);
    controls->addSpacing(16);
    controls->addWidget(form.lblWorking);
    controls->addWidget(form.lblCnt);
    controls->addStretch(1);
    controls->addWidget(form.txtBuffer);
    v->addLayout(controls);
    return panel;
}

} // namespace quorix

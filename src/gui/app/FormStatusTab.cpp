// Tab "Status": both servers' mirroring at a glance, and the pre-flight check.

#include "gui/app/FormBuilder.h"
#include "gui/ui/Form.h"
#include "gui/ui/widgets/Grid.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace quorix {

using namespace ui;

QWidget *buildStatusTab(Form &form) {
    form.GridStatus = grid(QStringLiteral("GridStatus"));
    form.cmdStatusRefresh = button(QStringLiteral("cmdStatusRefresh"), QStringLiteral("Refresh"));
    form.chkStatusAuto = check(QStringLiteral("chkStatusAuto"), QStringLiteral("every 10 s"));
    form.lblStatusTime = label(QStringLiteral("lblStatusTime"), QStringLiteral("not read yet"));
    form.cmdPreflight = button(QStringLiteral("cmdPreflight"), QStringLiteral("Pre-flight"));

    auto *page = new QWidget;
    form.tmrStatus = new QTimer(page);
    form.tmrStatus->setObjectName(QStringLiteral("tmrStatus"));
    form.tmrStatus->setInterval(10000);
    auto *v = new QVBoxLayout(page);
    auto *bar = new QHBoxLayout;
    bar->addWidget(form.cmdStatusRefresh);
    bar->addWidget(form.chkStatusAuto);
    bar->addWidget(form.lblStatusTime);
    bar->addStretch(1);
    bar->addWidget(form.cmdPreflight);
    v->addLayout(bar);
    v->addWidget(form.GridStatus, 1);
    return page;
}

} // namespace quorix

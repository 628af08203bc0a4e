// Tabs "Mirroring", "SQL to String", "Anonymize" and the blank-captioned ones.

#include "core/masking/AnonymizerLists.h"
#include "gui/app/FormBuilder.h"
#include "gui/ui/BoxText.h"
#include "gui/ui/Form.h"
#include "gui/ui/widgets/Grid.h"

#include <QCheckBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

static void initAppResources() {
    Q_INIT_RESOURCE(app);
}

namespace quorix {

using namespace ui;

namespace {

struct ScriptFrame {
    const char *caption;
    const char *runCaption;
    int copyCert; // index of its CopyCert button, -1 for none
};
// fraScr(0) resets, fraScr(1) to fraScr(3) set up, in the order the servers need the certificate files.
constexpr ScriptFrame kScriptFrames[] = {
    {"Reset Mirroring", "RunScript both servers", -1},
    {"Create", "RunScript svr1", 0},
    {"Create", "RunScript svr2", 1},
    {"Create", "RunScript svr1", 2},
};

QWidget *scriptPage(Form &form, int i) {
    const ScriptFrame &frameDef = kScriptFrames[i];
    const auto k = static_cast<size_t>(i);
    form.fraScr[k] = frame(indexed("fraScr", i), QLatin1String(frameDef.caption));
    form.txtScript1[k] = memo(indexed("txtScript1", i));
    form.cmdRunScript[k] = button(indexed("cmdRunScript", i), QLatin1String(frameDef.runCaption));
    auto *v = new QVBoxLayout(form.fraScr[k]);
    v->addWidget(form.txtScript1[k], 1);
    auto *h = new QHBoxLayout;
    h->addWidget(form.cmdRunScript[k]);
    if (frameDef.copyCert >= 0) {
        QPushButton *copy = button(indexed("cmdCopyCert", frameDef.copyCert), QStringLiteral("CopyCert"));
        form.cmdCopyCert[static_cast<size_t>(frameDef.copyCert)] = copy;
        h->addWidget(copy);
    }
    h->addStretch(1);
    v->addLayout(h);
    auto *page = new QWidget;
    auto *pv = new QVBoxLayout(page);
    pv->addWidget(form.fraScr[k]);
    return page;
}

QString resourceText(const QString &path) {
    initAppResources();
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

QIcon applicationIcon() {
    initAppResources();
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/app/icons/quorix-dbtools-%1.png").arg(size), QSize(size, size));
    return icon;
}

QWidget *buildMirroringTab(Form &form) {
    form.SSTab2 = new QTabWidget;
    form.SSTab2->setObjectName(QStringLiteral("SSTab2"));
    for (int i = 0; i < 4; ++i)
        form.SSTab2->addTab(scriptPage(form, i), QString::number(i + 1));
    for (int i = 4; i < 8; ++i)
        form.SSTab2->addTab(new QWidget, QString::number(i + 1));
    auto *page = new QWidget;
    auto *v = new QVBoxLayout(page);
    v->addWidget(form.SSTab2);
    return page;
}

QWidget *buildSqlToStringTab(Form &form) {
    form.txtSRC = memo(QStringLiteral("txtSRC"));
    form.txtDest = memo(QStringLiteral("txtDest"));
    form.cmdMakeVB = button(QStringLiteral("cmdMakeVB"), QStringLiteral("make VB->"));
    form.cmdClearSQL = button(QStringLiteral("cmdClearSQL"), QStringLiteral("<-ClearSQL"));
    auto *page = new QWidget;
    auto *h = new QHBoxLayout(page);
    h->addWidget(form.txtSRC, 1);
    auto *buttons = new QVBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(form.cmdMakeVB);
    buttons->addWidget(form.cmdClearSQL);
    buttons->addStretch(1);
    h->addLayout(buttons);
    h->addWidget(form.txtDest, 1);
    return page;
}

QWidget *buildAnonymizeTab(Form &form) {
    form.txtATables = memo(QStringLiteral("txtATables"));
    form.cmdDefault = button(QStringLiteral("cmdDefault"), QStringLiteral("Default"));
    form.chkTestRun = check(QStringLiteral("chkTestRun"), QStringLiteral("Test Run"));
    form.cmdAnonymize = button(QStringLiteral("cmdAnonymize"), QStringLiteral("Anonymize Right DB ->"));
    form.Label22 = label(QStringLiteral("Label22"), QStringLiteral("LastName"));
    form.txtLastNames = memo(QStringLiteral("txtLastNames"));
    setBoxText(form.txtLastNames, builtInLastNames());
    form.lstLast = new QListWidget;
    form.lstLast->setObjectName(QStringLiteral("lstLast"));
    form.lstLast->setUniformItemSizes(true);
    form.Label23 = label(QStringLiteral("Label23"), QStringLiteral("FirstName"));
    form.txtFirstnames = memo(QStringLiteral("txtFirstnames"));
    setBoxText(form.txtFirstnames, builtInFirstNames());
    form.lstFirst = new QListWidget;
    form.lstFirst->setObjectName(QStringLiteral("lstFirst"));
    form.lstFirst->setUniformItemSizes(true);
    form.lblRecNo = label(QStringLiteral("lblRecNo"), QStringLiteral("RecNo"));
    form.lblRecCount = label(QStringLiteral("lblRecCount"), QStringLiteral("RecCount"));

    auto *page = new QWidget;
    auto *g = new QGridLayout(page);
    auto *top = new QHBoxLayout;
    top->addWidget(form.cmdDefault);
    top->addWidget(form.chkTestRun);
    top->addWidget(form.cmdAnonymize);
    top->addSpacing(16);
    top->addWidget(form.lblRecNo);
    top->addWidget(form.lblRecCount);
    top->addStretch(1);
    g->addLayout(top, 0, 0, 1, 5);
    g->addWidget(form.txtATables, 1, 0, 3, 1);
    g->addWidget(form.Label22, 1, 1);
    g->addWidget(form.Label23, 1, 3);
    g->addWidget(form.txtLastNames, 2, 1);
    g->addWidget(form.lstLast, 2, 2);
    g->addWidget(form.txtFirstnames, 2, 3);
    g->addWidget(form.lstFirst, 2, 4);
    g->setColumnStretch(0, 4);
    for (int c = 1; c < 5; ++c)
        g->setColumnStretch(c, 1);
    g->setRowStretch(2, 1);
    return page;
}

QWidget *buildEmptyTab() {
    return new QWidget;
}

QWidget *buildWorkListTab(Form &form) {
    // The reference boxes: a table and its surname and given-name columns per row; the ninth row is empty.
    static const char *const refs[9][3] = {
        {"[Patient_Data].[dbo].[tbmaster]", "LastName", "FirstName"},
        {"[Patient_Data].[dbo].[tbmaster2]", "Mother", "Father"},
        {"[Medicare].[dbo].[tbMedPatient]", "LastName", ""},
        {"[DICOM].[dbo].[PatientTable]", "Name_Last", "Name_First"},
        {"payroll..tbpmaster", "LastName", "FirstName"},
        {"payroll..tbcmaster", "LastName", "FirstName"},
        {"[Password].[dbo].[tbPasswordMain]", "LastName", "FirstName"},
        {"[Password].[dbo].[tbPasswordMaster]", "LastName", "FirstName"},
        {"", "", ""},
    };
    form.GridA = grid(QStringLiteral("GridA"));
    auto *page = new QWidget;
    auto *h = new QHBoxLayout(page);
    h->addWidget(form.GridA, 3);
    auto *g = new QGridLayout;
    for (int i = 0; i < 9; ++i) {
        QLineEdit *table = edit(indexed("txtAnonymize", i), QLatin1String(refs[i][0]));
        form.txtAnonymize[static_cast<size_t>(i)] = table;
        g->addWidget(table, i, 0);
        for (int k = 0; k < 2; ++k) {
            const int index = 2 * i + k;
            QLineEdit *field = edit(indexed("txtAnonymizeField", index), QLatin1String(refs[i][1 + k]));
            form.txtAnonymizeField[static_cast<size_t>(index)] = field;
            g->addWidget(field, i, 1 + k);
        }
    }
    g->setColumnStretch(0, 3);
    g->setColumnStretch(1, 1);
    g->setColumnStretch(2, 1);
    g->setRowStretch(9, 1);
    h->addLayout(g, 3);
    return page;
}

QWidget *buildTableSizesTab(Form &form) {
    form.txtTableSizes = memo(QStringLiteral("txtTableSizes"));
    setBoxText(form.txtTableSizes, resourceText(QStringLiteral(":/app/TableSizes.sql")));
    auto *page = new QWidget;
    auto *v = new QVBoxLayout(page);
    v->addWidget(form.txtTableSizes);
    return page;
}

} // namespace quorix

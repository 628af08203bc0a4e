// The "Main Tools" tab: Main's column on the left, the Mirror's on the right, the numbered steps of setting
// up mirroring down the middle, and the share accounts below.

#include "core/db/ConnectionTarget.h"
#include "gui/app/FormBuilder.h"
#include "gui/ui/Form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorix {

using namespace ui;

namespace {

QWidget *row(std::initializer_list<QWidget *> widgets, bool stretch = true) {
    auto *w = new QWidget;
    auto *h = new QHBoxLayout(w);
    h->setContentsMargins(0, 0, 0, 0);
    for (QWidget *child : widgets)
        if (child)
            h->addWidget(child);
    if (stretch)
        h->addStretch(1);
    return w;
}

QLabel *stepNumber(Form &form, int index) {
    QLabel *l = label(indexed("Label6", index), QString::number(index + 1));
    QFont f = l->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.4);
    l->setFont(f);
    l->setAlignment(Qt::AlignCenter);
    l->setMinimumWidth(28);
    form.Label6[static_cast<size_t>(index)] = l;
    return l;
}

void createSlotControls(Form &form, int s) {
    const auto i = static_cast<size_t>(s);
    form.txtServer[i] =
        edit(indexed("txtServer", s), QLatin1String(s == 0 ? kDefaultMainServer : kDefaultMirrorServer));
    form.cmdConnect[i] = button(indexed("cmdConnect", s), QStringLiteral("Connect"));
    form.Label3[i] = label(indexed("Label3", s), QStringLiteral("PW"));
    form.txtPW[i] = edit(indexed("txtPW", s));
    form.txtPW[i]->setEchoMode(QLineEdit::Password);
    form.lblLogin[i] = label(indexed("lblLogin", s), QStringLiteral("Login"));
    form.txtLogin[i] = edit(indexed("txtLogin", s), QStringLiteral("sa"));
    form.chkWindowsAuth[i] = check(indexed("chkWindowsAuth", s), QStringLiteral("Windows authentication"));
    form.lblEncryption[i] = label(indexed("lblEncryption", s), QStringLiteral("Encryption"));
    form.cboEncryption[i] = new QComboBox;
    form.cboEncryption[i]->setObjectName(indexed("cboEncryption", s));
    for (Encryption e : {Encryption::Mandatory, Encryption::Optional, Encryption::Strict})
        form.cboEncryption[i]->addItem(encryptionName(e));
    form.cmdTableSizes[i] = button(indexed("cmdTableSizes", s), QStringLiteral("Table Sizes"));
    form.cmdBackup[i] = button(indexed("cmdBackup", s), QStringLiteral("Backup"));
    form.cmdCopy[i] = button(indexed("cmdCopy", s), QLatin1String(s == 0 ? "Copy ->" : "<- Copy"));
    form.cmdRestoreFileList[i] =
        button(indexed("cmdRestoreFileList", s), QStringLiteral("Restore File list"));
    form.cmdRestore[i] = button(indexed("cmdRestore", s), QStringLiteral("Restore"));
    form.cmdSetPartner[i] =
        button(indexed("cmdSetPartner", s), QLatin1String(s == 0 ? "Set Partner ->" : "<- Set Partner"));
    form.cmdMakeOnline[i] = button(indexed("cmdMakeOnline", s),
                                   QLatin1String(s == 0 ? "Make Online / fix" : "Make Online (partner off)"));
    form.cmdClearConnections[i] =
        button(indexed("cmdClearConnections", s), QStringLiteral("Clear Connections"));
    form.cmdDrop[i] = button(indexed("cmdDrop", s), QStringLiteral("DropDB"));
    form.cmdDropAll[i] = button(indexed("cmdDropAll", s), QStringLiteral("Drop ALL"));
    form.cmdNetworkConnect[i] = button(indexed("cmdNetworkConnect", s),
                                       QLatin1String(s == 0 ? "Map net Drive X" : "Map Net Drive Y"));
    form.cmdOpenDir[i] = button(indexed("cmdOpenDir", s), QStringLiteral("Connect Dir"));
    form.cmdOpenDirB[i] = button(indexed("cmdOpenDirB", s), QStringLiteral("Connect Dir"));
    form.cmdOpenFolder[i] = button(indexed("cmdOpenFolder", s), QStringLiteral("Open dir"));
    form.cmdOpenPath[i] = button(indexed("cmdOpenPath", s), QStringLiteral("Open Path"));
    form.txtServerUser[i] = edit(indexed("txtServerUser", s));
    form.txtServerPW[i] = edit(indexed("txtServerPW", s));
    form.txtServerPW[i]->setEchoMode(QLineEdit::Password);
}

// One column's server box: address, Connect, password, Table Sizes.
QWidget *serverBox(Form &form, int s) {
    const auto i = static_cast<size_t>(s);
    auto *w = new QWidget;
    auto *g = new QGridLayout(w);
    g->setContentsMargins(0, 0, 0, 0);
    QLabel *title = s == 0 ? form.Label1 : form.Label2;
    QFont f = title->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.3);
    title->setFont(f);
    g->addWidget(title, 0, 0, 1, 3);
    g->addWidget(form.txtServer[i], 1, 0, 1, 2);
    g->addWidget(form.cmdConnect[i], 1, 2);
    g->addWidget(form.lblLogin[i], 2, 0);
    g->addWidget(form.txtLogin[i], 2, 1);
    g->addWidget(form.chkWindowsAuth[i], 2, 2);
    g->addWidget(form.Label3[i], 3, 0);
    g->addWidget(form.txtPW[i], 3, 1);
    g->addWidget(form.cmdTableSizes[i], 3, 2);
    g->addWidget(form.lblEncryption[i], 4, 0);
    g->addWidget(form.cboEncryption[i], 4, 1);
    g->setColumnStretch(1, 1);
    return w;
}

QGroupBox *shareAccounts(Form &form) {
    form.Frame4 = frame(QStringLiteral("Frame4"), QString());
    form.Label12 = label(QStringLiteral("Label12"), QStringLiteral("Server User/PW:"));
    form.Label21 = label(QStringLiteral("Label21"), QStringLiteral("Server2 User/PW:"));
    form.Label13 =
        label(QStringLiteral("Label13"), QStringLiteral("create and share BACKUP folder on both servers"));
    auto *g = new QGridLayout(form.Frame4);
    g->addWidget(form.Label12, 0, 0);
    g->addWidget(form.txtServerUser[0], 0, 1);
    g->addWidget(form.txtServerPW[0], 0, 2);
    g->addWidget(form.Label21, 0, 3);
    g->addWidget(form.txtServerUser[1], 0, 4);
    g->addWidget(form.txtServerPW[1], 0, 5);
    g->addWidget(form.Label13, 1, 0, 1, 6);
    g->setColumnStretch(1, 1);
    g->setColumnStretch(2, 1);
    g->setColumnStretch(4, 1);
    g->setColumnStretch(5, 1);
    return form.Frame4;
}

} // namespace

QWidget *buildMainToolsTab(Form &form) {
    form.Label1 = label(QStringLiteral("Label1"), QStringLiteral("Main"));
    form.Label2 = label(QStringLiteral("Label2"), QStringLiteral("Mirror"));
    createSlotControls(form, 0);
    createSlotControls(form, 1);
    form.cmdFullRecovery[0] = button(indexed("cmdFullRecovery", 0), QStringLiteral("Full Recovery Mode"));
    form.cmdDropDir[1] = button(indexed("cmdDropDir", 1), QStringLiteral("Drop Dir"));
    form.chkALL = check(QStringLiteral("chkALL"), QStringLiteral("ALL DBS"));
    form.chkLogOnly = check(QStringLiteral("chkLogOnly"), QStringLiteral("Log Only"));
    form.chkScriptOnly = check(QStringLiteral("chkScriptOnly"), QStringLiteral("Script only"));
    form.cmdSaveScript = button(QStringLiteral("cmdSaveScript"), QStringLiteral("Save script"));
    form.Label20 =
        label(QStringLiteral("Label20"), QStringLiteral("share a \\backup\\mir folder on each server"));
    form.cmdMap = button(QStringLiteral("cmdMap"), QString());
    form.cmdMap->setFixedWidth(24);

    auto *page = new QWidget;
    auto *outer = new QVBoxLayout(page);
    auto *g = new QGridLayout;
    outer->addLayout(g);
    g->setColumnStretch(0, 1);
    g->setColumnStretch(2, 1);
    g->setHorizontalSpacing(12);
    constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignVCenter;

    auto both = [&](int r, QWidget *main, QWidget *middle, QWidget *mirror) {
        if (main)
            g->addWidget(main, r, 0, kLeft);
        if (middle)
            g->addWidget(middle, r, 1, Qt::AlignCenter);
        if (mirror)
            g->addWidget(mirror, r, 2, kLeft);
    };

    int r = 0;
    g->addWidget(serverBox(form, 0), r, 0);
    g->addWidget(serverBox(form, 1), r, 2);
    auto *modes = new QWidget;
    auto *mv = new QVBoxLayout(modes);
    mv->setContentsMargins(0, 0, 0, 0);
    mv->addWidget(form.chkALL);
    mv->addWidget(form.chkLogOnly);
    mv->addWidget(row({form.chkScriptOnly, form.cmdSaveScript}));
    g->addWidget(modes, r, 1, Qt::AlignCenter | Qt::AlignBottom);
    ++r;
    // 1: the backup shares, reached as X: and Y:.
    g->addWidget(row({form.Label20, form.cmdMap}), r, 0, 1, 3, Qt::AlignCenter);
    ++r;
    both(r, row({form.cmdNetworkConnect[0], form.cmdOpenDir[0], form.cmdOpenDirB[0]}), stepNumber(form, 0),
         row({form.cmdNetworkConnect[1], form.cmdOpenDir[1], form.cmdOpenDirB[1]}));
    ++r;
    both(r, row({form.cmdOpenFolder[0], form.cmdOpenPath[0]}), nullptr,
         row({form.cmdOpenFolder[1], form.cmdOpenPath[1], form.cmdDropDir[1]}));
    ++r;
    // 2 to 5: back up on Main, copy across, restore on the Mirror, partner the Mirror and then Main.
    both(r++, form.cmdBackup[0], stepNumber(form, 1), form.cmdBackup[1]);
    both(r++, form.cmdCopy[0], stepNumber(form, 2), form.cmdCopy[1]);
    both(r++, row({form.cmdRestoreFileList[0], form.cmdRestore[0]}), stepNumber(form, 3),
         row({form.cmdRestoreFileList[1], form.cmdRestore[1]}));
    both(r++, form.cmdSetPartner[0], stepNumber(form, 4), form.cmdSetPartner[1]);
    // Repair and removal.
    both(r++, row({form.cmdMakeOnline[0], form.cmdFullRecovery[0]}), nullptr, form.cmdMakeOnline[1]);
    both(r++, row({form.cmdClearConnections[0], form.cmdDrop[0], form.cmdDropAll[0]}), nullptr,
         row({form.cmdClearConnections[1], form.cmdDrop[1], form.cmdDropAll[1]}));

    outer->addWidget(shareAccounts(form));
    outer->addStretch(1);
    return page;
}

} // namespace quorix

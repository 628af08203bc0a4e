#include "gui/shares/NetworkShares.h"

#include "core/shares/ModNetUse.h"
#include "core/shares/Paths.h"
#include "gui/ui/Form.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/Operations.h"
#include "gui/ui/Prompt.h"
#include "gui/ui/RunAside.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>

namespace quorix {

namespace {

std::string text(QLineEdit *box) {
    return box ? box->text().toStdString() : std::string();
}

std::string trimmed(const std::string &value) {
    const auto first = value.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return value.substr(first, value.find_last_not_of(' ') - first + 1);
}

} // namespace

NetworkShares::NetworkShares(Form &form, const LogPanes &log, QObject *parent)
    : QObject(parent), m_form(form) {
    readSlots();
    // Other threads (a copy running aside) read the boxes through this copy, kept current on every change.
    for (int slot = 0; slot < 2; ++slot) {
        for (QLineEdit *box : {form.txtServer[slot], form.txtServerUser[slot], form.txtServerPW[slot]}) {
            if (box)
                connect(box, &QLineEdit::textChanged, this, [this] { readSlots(); });
        }
    }
    shares::setAccounts([this](const std::string &server) { return accountFor(server); });

    // Log lines may come from the threads that watch started programs; they reach the window on its thread.
    // A line queued from a thread is dropped if this object is gone by the time it would be shown.
    shares::setLog([this, &log](const std::string &line) {
        const QString text = QString::fromStdString(line);
        if (QThread::currentThread() == thread())
            log.LogLine(text);
        else
            QMetaObject::invokeMethod(
                this, [&log, text] { log.LogLine(text); }, Qt::QueuedConnection);
    });

    for (int slot = 0; slot < 2; ++slot) {
        if (form.cmdNetworkConnect[slot])
            Operations::onClick(form.cmdNetworkConnect[slot],
                                [this, slot] { cmdNetworkConnect_Click(slot); });
        if (form.cmdOpenDir[slot])
            Operations::onClick(form.cmdOpenDir[slot], [this, slot] { cmdOpenDir_Click(slot); });
        if (form.cmdOpenDirB[slot])
            Operations::onClick(form.cmdOpenDirB[slot], [this, slot] { cmdOpenDirB_Click(slot); });
        if (form.cmdOpenFolder[slot])
            Operations::onClick(form.cmdOpenFolder[slot], [this, slot] { cmdOpenFolder_Click(slot); });
        if (form.cmdOpenPath[slot])
            Operations::onClick(form.cmdOpenPath[slot], [this, slot] { cmdOpenPath_Click(slot); });
    }
    if (form.cmdDropDir[1])
        Operations::onClick(form.cmdDropDir[1], [this] { cmdDropDir_Click(); });
}

NetworkShares::~NetworkShares() {
    shares::setAccounts({});
    shares::setLog({});
}

void NetworkShares::readSlots() {
    std::lock_guard lock(m_mutex);
    for (int slot = 0; slot < 2; ++slot)
        m_slots[slot] = {text(m_form.txtServer[slot]), text(m_form.txtServerUser[slot]),
                         text(m_form.txtServerPW[slot])};
}

std::optional<shares::Account> NetworkShares::accountFor(const std::string &server) {
    if (QThread::currentThread() == thread())
        readSlots(); // on the window's thread the boxes themselves are read
    std::lock_guard lock(m_mutex);
    const std::string wanted = trimmed(server);
    for (const Slot &slot : m_slots) {
        if (!wanted.empty() && shares::equalsNoCase(trimmed(slot.server), wanted))
            return shares::Account{slot.user, slot.password};
    }
    return std::nullopt;
}

void NetworkShares::cmdNetworkConnect_Click(int slot) {
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    const std::string remote = text(m_form.txtServer[slot]) + "\\backup";
    const std::string local = slot == 0 ? "X:" : "Y:";
    const std::string user = text(m_form.txtServerUser[slot]);
    const std::string password = text(m_form.txtServerPW[slot]);
    runAside([&] { ModNetUse::MapNetworkDrive(remote, local, user, password); });
    const std::int32_t result = ModNetUse::lastResult();
    if (result == 0 || result == 85) // mapped, or the letter is taken already
        return;
    Prompt::msgBox(QString::fromStdString(ModNetUse::errorText()));
}

void NetworkShares::cmdDropDir_Click() {
    shares::drives().dropAll();
}

void NetworkShares::cmdOpenDir_Click(int slot) {
    shares::shell().openShare(text(m_form.txtServer[slot]));
}

void NetworkShares::cmdOpenFolder_Click(int slot) {
    shares::shell().openShare(text(m_form.txtServer[slot]));
    pauseFor(500);
}

void NetworkShares::cmdOpenDirB_Click(int slot) {
    // The fixed login goes to the platform's connection call for this share, not as keystrokes into
    // whatever window has the focus; the file manager then finds the share connected.
    const std::string server = text(m_form.txtServer[slot]);
    const std::string remote = "\\\\" + server + "\\backup";
    std::int32_t result = 0;
    runAside(
        [&] { result = shares::drives().addConnection(remote, "", kOpenDirBUser, kOpenDirBPassword, 0); });
    if (result != 0)
        shares::logLine("Connect Dir " + remote + ": " + ModNetUse::NetErrorText(result));
    shares::shell().openShare(server);
}

void NetworkShares::cmdOpenPath_Click(int slot) {
    shares::shell().openTerminal(slot == 0 ? "X:" : "y:");
}

} // namespace quorix

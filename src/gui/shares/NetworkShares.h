#pragma once

// The "Main Tools" buttons of the network shares: the map buttons, "Drop Dir" and the four pairs that open a
// server's backup share in the file manager or a command prompt on its drive. It also gives the shares
// layer the accounts of the two slots: a UNC path or a mapped drive naming a server uses the account in
// that slot's user and password boxes, as they read at that moment.

#include "core/shares/Platform.h"

#include <QObject>
#include <QString>
#include <array>
#include <mutex>
#include <optional>
#include <string>

namespace quorix {

struct Form;
class LogPanes;

class NetworkShares : public QObject {
    Q_OBJECT
public:
    // The shares layer's own log lines (a program that could not be started) go to log, on the window's
    // thread.
    NetworkShares(Form &form, const LogPanes &log, QObject *parent = nullptr);
    ~NetworkShares() override;

    void cmdNetworkConnect_Click(int slot);
    void cmdDropDir_Click();
    void cmdOpenDir_Click(int slot);
    void cmdOpenDirB_Click(int slot);
    void cmdOpenFolder_Click(int slot);
    void cmdOpenPath_Click(int slot);

    // The account of the slot whose server box names server (letter case and blanks around it ignored).
    std::optional<shares::Account> accountFor(const std::string &server);

    // The login that "Connect Dir" of cmdOpenDirB hands to the share before opening it.
    static constexpr const char *kOpenDirBUser = "administrator";
    static constexpr const char *kOpenDirBPassword = "garden@584";

private:
    struct Slot {
        std::string server, user, password;
    };
    void readSlots(); // the boxes into m_slots (window thread)

    Form &m_form;
    std::mutex m_mutex;
    std::array<Slot, 2> m_slots;
};

} // namespace quorix

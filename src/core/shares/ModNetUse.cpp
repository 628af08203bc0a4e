#include "core/shares/ModNetUse.h"

#include "core/shares/Platform.h"

#include <mutex>

namespace quorix {

namespace {

// CONNECT_UPDATE_PROFILE: the mapping is remembered and restored at the next logon.
constexpr std::uint32_t kConnectUpdateProfile = 1;

std::mutex g_mutex;
std::int32_t g_lastResult = 0;
std::string g_errorText;

} // namespace

std::string ModNetUse::NetErrorText(std::int32_t code) {
    switch (code) {
    case 5:
        return "Access Denied.";
    case 66:
        return "Bad device.";
    case 67:
        return "Bad net name";
    case 85:
        return "Already Assigned.";
    case 86:
        return "Invalid Password";
    case 170:
        return "Busy";
    case 173:
        return "Cancel Violation";
    case 234:
        return "Buffer to small to hold network name, make lpnLength bigger";
    case 1202:
    case 1208:
        return "Device already remembered";
    case 1203:
        return "Could not find the specified device";
    case 1204:
        return "Bad Provider";
    case 1205:
        return "Cannot Open Profile";
    case 1206:
        return "Bad Profile";
    case 1222:
        return "No Network Present";
    case 2250:
        return "No Connection Present";
    case 2401:
        return "Files open and the force parameter is false";
    case 2404:
        return "Connection Currently in use ";
    default:
        return "Unrecognized Error " + std::to_string(code) + ".";
    }
}

void ModNetUse::MapNetworkDrive(const std::string &RemoteName, const std::string &LocalName,
                                const std::string &UserName, const std::string &Password) {
    {
        std::lock_guard lock(g_mutex);
        g_errorText.clear();
    }
    // The network call runs unlocked: a share that does not answer must not hold up readers of the state.
    try {
        const std::int32_t code = shares::drives().addConnection("\\\\" + RemoteName, LocalName, UserName,
                                                                 Password, kConnectUpdateProfile);
        std::lock_guard lock(g_mutex);
        g_lastResult = code;
        if (code != 0)
            g_errorText = NetErrorText(code);
    } catch (...) {
        std::lock_guard lock(g_mutex);
        g_errorText = NetErrorText(g_lastResult);
    }
}

std::int32_t ModNetUse::lastResult() {
    std::lock_guard lock(g_mutex);
    return g_lastResult;
}

std::string ModNetUse::errorText() {
    std::lock_guard lock(g_mutex);
    return g_errorText;
}

} // namespace quorix

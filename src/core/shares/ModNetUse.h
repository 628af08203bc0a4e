#pragma once

// Mapping the servers' "backup" shares to drive letters. The module keeps the result of its last mapping
// call: the caller maps, then reads lastResult() and errorText().

#include <cstdint>
#include <string>

namespace quorix {

class ModNetUse {
public:
    // Maps "\\" + RemoteName to LocalName ("X:") with the account, remembered beyond this run. Texts UTF-8;
    // an empty user or password is passed as an empty text.
    static void MapNetworkDrive(const std::string &RemoteName, const std::string &LocalName,
                                const std::string &UserName, const std::string &Password);
    static std::string NetErrorText(std::int32_t code);

    // The code of the last mapping call (0 = mapped); not reset when a call starts.
    static std::int32_t lastResult();
    // Empty after a mapping that succeeded, else the text of the code.
    static std::string errorText();
};

} // namespace quorix

#pragma once
#include <string>

namespace app {

// Writes (enable) or deletes the start entry `valueName` under HKEY_CURRENT_USER (currentUser)
// or HKEY_LOCAL_MACHINE, in the Run (everyLogOn) or RunOnce key. True on success; deleting is
// always true.
bool SetStartWithWindows(bool enable,
                         const std::string& valueName,
                         const std::string& command,
                         bool currentUser,
                         bool everyLogOn);

}  // namespace app

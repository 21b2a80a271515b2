#include "app/LaunchAtStartup_win.h"

#include <windows.h>

#include "app/LaunchAtStartup.h"
#include "base/win/Handles_win.h"

namespace app {

bool SetStartWithWindows(bool enable,
                         const std::string& valueName,
                         const std::string& command,
                         bool currentUser,
                         bool everyLogOn) {
    HKEY root = currentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    const std::string keyPath(StartupKeyPath(everyLogOn));
    if (enable) {
        base::unique_hkey key;
        if (::RegCreateKeyExA(root, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr) !=
            ERROR_SUCCESS) {
            return false;
        }
        // The length includes the terminating zero, as REG_SZ data must: readers that size their
        // buffer from it would otherwise get an unterminated string.
        const LSTATUS set =
            ::RegSetValueExA(key.get(), valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                             static_cast<DWORD>(command.size() + 1));
        return set == ERROR_SUCCESS;
    }
    base::unique_hkey key;
    if (::RegOpenKeyA(root, keyPath.c_str(), key.put()) == ERROR_SUCCESS) {
        (void)::RegDeleteValueA(key.get(), valueName.c_str());  // a missing value is no error here
    }
    return true;
}

}  // namespace app

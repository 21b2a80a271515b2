#include "app/LaunchAtStartup_win.h"

#include <windows.h>

#include "app/LaunchAtStartup.h"
#include "base/win/Handles_win.h"
#include "base/win/WinText_win.h"

namespace app {

bool SetStartWithWindows(bool enable,
                         const std::string& valueName,
                         const std::string& command,
                         bool currentUser,
                         bool everyLogOn) {
    HKEY root = currentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    const std::wstring keyPath = base::win::Utf8ToWide(StartupKeyPath(everyLogOn));
    // Wide: the program's folder and name may lie outside the ANSI code page.
    const std::wstring name = base::win::Utf8ToWide(valueName);
    if (enable) {
        base::unique_hkey key;
        if (::RegCreateKeyExW(root, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr) !=
            ERROR_SUCCESS) {
            return false;
        }
        // The length includes the terminating zero, as REG_SZ data must: readers that size their
        // buffer from it would otherwise get an unterminated string.
        const std::wstring data = base::win::Utf8ToWide(command);
        const LSTATUS set =
            ::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                             static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
        return set == ERROR_SUCCESS;
    }
    base::unique_hkey key;
    if (::RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS) {
        (void)::RegDeleteValueW(key.get(), name.c_str());  // a missing value is no error here
    }
    return true;
}

}  // namespace app

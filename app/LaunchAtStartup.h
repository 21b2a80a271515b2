#pragma once
// Start with Windows: the run-once entry that brings the program back at the next log-on.
#include <string>
#include <string_view>

namespace app {

inline constexpr std::string_view kRunOnceKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr std::string_view kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// The command the entry holds: folder, one "\", the executable's name and ".EXE", in double
// quotes when it holds a blank.
[[nodiscard]] std::string RunOnceCommand(std::string_view programFolder, std::string_view exeName);

// The key that `everyLogOn` selects.
[[nodiscard]] std::string_view StartupKeyPath(bool everyLogOn);

}  // namespace app

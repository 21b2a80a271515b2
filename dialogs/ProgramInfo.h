#pragma once
// Texts about the program itself: where its help file is, what the about box states.
#include <cstdint>
#include <string>
#include <string_view>

namespace dialogs {

inline constexpr std::string_view kHelpFileName = "PesoraHelp.chm";

// The help file beside the executable; programFolder has no trailing "\" unless it is a
// drive root ("C:\").
[[nodiscard]] std::string HelpFilePath(std::string_view programFolder);

// What the user is told when the help file is not there or the viewer cannot show it.
[[nodiscard]] std::string HelpMissingMessage(std::string_view helpFile);
[[nodiscard]] std::string HelpFailedMessage(std::string_view helpFile);

// "Pesora v" + major.minor.revision.
[[nodiscard]] std::string AboutVersionText(uint16_t major, uint16_t minor, uint16_t revision);

}  // namespace dialogs

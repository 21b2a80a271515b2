#pragma once
// The DDE link the main window offers: application "Pesora", topic = the executable's name,
// item "Weight". Renamed copies share the application name and differ by topic.
#include <string>
#include <string_view>

namespace app {

inline constexpr std::string_view kDdeApplication = "Pesora";
inline constexpr std::string_view kDdeItem = "Weight";

// The bytes of the clipboard's "Link" format: application, topic and item, each followed by a
// zero byte, and one more zero byte at the end.
[[nodiscard]] std::string BuildLinkFormat(std::string_view topic);

}  // namespace app

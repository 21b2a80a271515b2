#pragma once
// The private message the notification-area icon calls the main window back with. Its lParam is
// the mouse message the icon saw (WM_LBUTTONDOWN, WM_RBUTTONUP, ...). A private number, not the
// mouse-move message: the window's labels let mouse moves through to it, and the x coordinate of
// such a move would read as a click on the icon.
#include <cstdint>

namespace app {

inline constexpr uint32_t kTrayIconMessage = 0x8000 + 1;  // WM_APP + 1

}  // namespace app

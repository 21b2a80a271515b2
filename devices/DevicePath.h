#pragma once
// Device interface paths as Windows treats them: without regard to case. Enumeration and device
// notifications may spell the same path in different case ("\\?\hid#vid_0922..." and
// "\\?\HID#VID_0922..."), so every comparison of two paths goes through here.
#include <string_view>

#include "base/TextUtil.h"

namespace devices {

[[nodiscard]] inline bool SameDevicePath(std::string_view a, std::string_view b) noexcept {
    return base::EqualsIgnoreCase(a, b);
}

// Whether `text` holds a HID interface path ("\\?\HID", any case).
[[nodiscard]] inline bool NamesHidInterface(std::string_view text) {
    return base::UpperAscii(text).find("\\\\?\\HID") != std::string::npos;
}

}  // namespace devices

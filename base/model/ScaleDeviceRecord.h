#pragma once
#include <string>

namespace base {

// One enumerated HID device: the path that is opened (and remembered as SelectedScale) and
// the text of its row in the scale list.
struct ScaleDeviceRecord {
    std::string devicePath;
    std::string displayName;
    bool operator==(const ScaleDeviceRecord&) const = default;
};

}  // namespace base

#include "devices/DeviceChangeHandlers.h"

#include <cstdio>

namespace devices {

namespace {
constexpr std::string_view kHidInterfacePrefix = "\\\\?\\HID";

std::string HexUpper(uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%X", static_cast<unsigned>(value));
    return buffer;
}
}  // namespace

std::string DescribeDeviceEvent(const CSysInfoDevice& sid, std::string_view eventName) {
    const uint32_t devType = sid.GetDeviceType();
    std::string text(eventName);
    text += ": " + std::to_string(devType) + " - ";
    switch (devType) {
        case kDbtDevTypVolume:
            text += "vol: " + sid.GetDeviceVolume() + ", flags: " + HexUpper(sid.GetDeviceFlags());
            break;
        case kDbtDevTypDeviceInterface:
            text += sid.GetDeviceInterfaceName();
            break;
        case kDbtDevTypHandle:
            text += "vol: " + sid.GetDeviceVolume();
            break;
        default:
            break;
    }
    return text;
}

bool RefreshIfHidEvent(std::string_view text, IScaleListCommands& commands) {
    if (text.find(kHidInterfacePrefix) == std::string_view::npos) {
        return false;
    }
    commands.Command2_Click();
    return true;
}

// Only a notification that names an interface can be about the selected scale. Without this
// check a USB stick's volume notification (no name) would equal an empty SelectedScale and
// stop reading or lift the suppression.
bool DeviceChangeHandlers::IsSelectedScale(const CSysInfoDevice& sid) const {
    const std::string name = sid.GetDeviceInterfaceName();
    return !name.empty() && name == _state.settings.SelectedScale;
}

void DeviceChangeHandlers::sid_DeviceArrival(const CSysInfoDevice& sid, uint32_t /*devType*/) {
    const std::string name = sid.GetDeviceInterfaceName();
    if (name.find(kHidInterfacePrefix) != std::string::npos) {
        _commands.DeviceArrived(name);
    }
    // Refresh first, so the returning scale's row exists when it is looked up.
    RefreshIfHidEvent(DescribeDeviceEvent(sid, "DeviceArrival"), _commands);
    if (!IsSelectedScale(sid)) {
        return;
    }
    _state.sendSuppressed = false;
    const int rows = _view.ListCount();
    for (int i = 0; i < rows && static_cast<size_t>(i) < _state.scaleTable.size(); ++i) {
        if (_state.scaleTable[static_cast<size_t>(i)].devicePath == _state.settings.SelectedScale) {
            _view.SetListIndex(i);
            _commands.List2_Click();
            return;
        }
    }
}

void DeviceChangeHandlers::sid_DeviceRemoveComplete(const CSysInfoDevice& sid, uint32_t /*devType*/) {
    // Stop first: the refresh below must not find the scale still being read.
    if (IsSelectedScale(sid)) {
        _state.sendSuppressed = true;
        _view.SetTimerEnabled(false);
        _view.SetWeightBox("");
    }
    const std::string name = sid.GetDeviceInterfaceName();
    if (name.find(kHidInterfacePrefix) != std::string::npos) {
        _commands.DeviceRemoved(name);
    }
    RefreshIfHidEvent(DescribeDeviceEvent(sid, "DeviceRemoveComplete"), _commands);
}

}  // namespace devices

#include "devices/DeviceChangeHandlers.h"

#include <cstdio>

#include "devices/DevicePath.h"

namespace devices {

namespace {
std::string HexUpper(uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%X", static_cast<unsigned>(value));
    return buffer;
}
}  // namespace

std::string DescribeDeviceEvent(const DeviceNotifications& notifications, std::string_view eventName) {
    const uint32_t devType = notifications.GetDeviceType();
    std::string text(eventName);
    text += ": " + std::to_string(devType) + " - ";
    switch (devType) {
        case kDbtDevTypVolume:
            text += "vol: " + notifications.GetDeviceVolume() + ", flags: " + HexUpper(notifications.GetDeviceFlags());
            break;
        case kDbtDevTypDeviceInterface:
            text += notifications.GetDeviceInterfaceName();
            break;
        case kDbtDevTypHandle:
            text += "vol: " + notifications.GetDeviceVolume();
            break;
        default:
            break;
    }
    return text;
}

bool RefreshIfHidEvent(std::string_view text, IScaleListCommands& commands) {
    if (!NamesHidInterface(text)) {
        return false;
    }
    commands.RefreshButton_Click();
    return true;
}

// Only a notification that names an interface can be about the selected scale. Without this
// check a USB stick's volume notification (no name) would equal an empty SelectedScale and
// stop reading or lift the suppression.
bool DeviceChangeHandlers::IsSelectedScale(const DeviceNotifications& notifications) const {
    const std::string name = notifications.GetDeviceInterfaceName();
    return !name.empty() && SameDevicePath(name, _state.settings.SelectedScale);
}

void DeviceChangeHandlers::OnDeviceArrival(const DeviceNotifications& notifications, uint32_t /*devType*/) {
    const std::string name = notifications.GetDeviceInterfaceName();
    if (NamesHidInterface(name)) {
        _commands.DeviceArrived(name);
    }
    // Refresh first, so the returning scale's row exists when it is looked up.
    RefreshIfHidEvent(DescribeDeviceEvent(notifications, "DeviceArrival"), _commands);
    if (!IsSelectedScale(notifications)) {
        return;
    }
    _state.sendSuppressed = false;
    const int rows = _list.ListCount();
    for (int i = 0; i < rows && static_cast<size_t>(i) < _state.scaleTable.size(); ++i) {
        if (SameDevicePath(_state.scaleTable[static_cast<size_t>(i)].devicePath, _state.settings.SelectedScale)) {
            _list.SetListIndex(i);
            _commands.ScaleList_Click();
            return;
        }
    }
}

void DeviceChangeHandlers::OnDeviceRemoveComplete(const DeviceNotifications& notifications, uint32_t /*devType*/) {
    // Stop first: the refresh below must not find the scale still being read.
    if (IsSelectedScale(notifications)) {
        _state.sendSuppressed = true;  // until a scale is open again
        // No scale is read from here on: nothing may show, serve or type its last weight.
        _state.deviceOpen = false;
        _state.weightText.clear();
        _timer.SetTimerEnabled(false);
        _display.SetWeightBox("");
    }
    const std::string name = notifications.GetDeviceInterfaceName();
    if (NamesHidInterface(name)) {
        _commands.DeviceRemoved(name);
    }
    RefreshIfHidEvent(DescribeDeviceEvent(notifications, "DeviceRemoveComplete"), _commands);
}

}  // namespace devices

#pragma once

#include <string_view>

namespace devices {

// The scale list's two commands, as the device-change handlers run them.
class IScaleListCommands {
  public:
    virtual ~IScaleListCommands() = default;
    virtual void RefreshButton_Click() = 0;  // "Refresh Device List"
    virtual void ScaleList_Click() = 0;      // open the selected row's scale
    // The interface path of a HID device whose removal, or arrival, was just reported. The
    // system can still list a removed device for a moment (Wine serves the raw-input list from
    // a cache up to 2 s old), and a refresh must not offer, or reopen, a device known to be gone.
    virtual void DeviceRemoved(std::string_view interfacePath) = 0;
    virtual void DeviceArrived(std::string_view interfacePath) = 0;
};

}  // namespace devices

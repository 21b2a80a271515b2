#pragma once
// The main window's answers to device arrival and removal: refresh the scale list when a HID
// interface comes or goes, stop reading (and sending) when the selected scale is pulled out,
// and resume when the same interface path returns.
#include <cstdint>
#include <string>
#include <string_view>

#include "app/AppState.h"
#include "app/MainView.h"
#include "devices/ScaleListCommands.h"
#include "devices/SysInfoDevice.h"

namespace devices {

// "<event>: <type> - <details>"; e.g. "DeviceArrival: 5 - \\?\HID#VID_0922&PID_8003#...".
[[nodiscard]] std::string DescribeDeviceEvent(const CSysInfoDevice& sid, std::string_view eventName);

// Refreshes the list when `text` names a HID interface ("\\?\HID", exact case); true if so.
bool RefreshIfHidEvent(std::string_view text, IScaleListCommands& commands);

class DeviceChangeHandlers final : public ISysInfoDeviceEvents {
  public:
    DeviceChangeHandlers(app::AppState& state, app::IMainView& view, IScaleListCommands& commands) noexcept
        : _state(state), _view(view), _commands(commands) {}

    void sid_DeviceArrival(const CSysInfoDevice& sid, uint32_t devType);
    void sid_DeviceRemoveComplete(const CSysInfoDevice& sid, uint32_t devType);

    void DeviceArrival(const CSysInfoDevice& sid, uint32_t devType) override { sid_DeviceArrival(sid, devType); }
    void DeviceRemoveComplete(const CSysInfoDevice& sid, uint32_t devType) override {
        sid_DeviceRemoveComplete(sid, devType);
    }

  private:
    [[nodiscard]] bool IsSelectedScale(const CSysInfoDevice& sid) const;

    app::AppState& _state;
    app::IMainView& _view;
    IScaleListCommands& _commands;
};

}  // namespace devices

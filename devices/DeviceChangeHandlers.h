#pragma once
// The main window's answers to device arrival and removal: refresh the scale list when a HID
// interface comes or goes, stop reading (and sending) when the selected scale is pulled out,
// and resume when the same interface path returns.
#include <cstdint>
#include <string>
#include <string_view>

#include "base/model/AppState.h"
#include "base/model/Views.h"
#include "devices/DeviceNotifications.h"
#include "devices/ScaleListCommands.h"
#include "devices/ScaleListView.h"

namespace devices {

// "<event>: <type> - <details>"; e.g. "DeviceArrival: 5 - \\?\HID#VID_0922&PID_8003#...".
[[nodiscard]] std::string DescribeDeviceEvent(const DeviceNotifications& notifications, std::string_view eventName);

// Refreshes the list when `text` names a HID interface ("\\?\HID", any case); true if so.
bool RefreshIfHidEvent(std::string_view text, IScaleListCommands& commands);

class DeviceChangeHandlers final : public IDeviceEvents {
  public:
    DeviceChangeHandlers(base::AppState& state,
                         IScaleListView& list,
                         base::IReadingDisplay& display,
                         base::IReadTimer& timer,
                         IScaleListCommands& commands) noexcept
        : _state(state), _list(list), _display(display), _timer(timer), _commands(commands) {}

    void OnDeviceArrival(const DeviceNotifications& notifications, uint32_t devType);
    void OnDeviceRemoveComplete(const DeviceNotifications& notifications, uint32_t devType);

    void DeviceArrival(const DeviceNotifications& notifications, uint32_t devType) override {
        OnDeviceArrival(notifications, devType);
    }
    void DeviceRemoveComplete(const DeviceNotifications& notifications, uint32_t devType) override {
        OnDeviceRemoveComplete(notifications, devType);
    }

  private:
    [[nodiscard]] bool IsSelectedScale(const DeviceNotifications& notifications) const;

    base::AppState& _state;
    IScaleListView& _list;
    base::IReadingDisplay& _display;
    base::IReadTimer& _timer;
    IScaleListCommands& _commands;
};

}  // namespace devices

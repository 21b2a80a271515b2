#pragma once
// Everything of the scale devices that the main window owns, wired together.
//
// The selection is what the main window calls (refresh, row click, read, zero, close); the
// notifications run from start-up to shutdown.
#include <memory>

#include "base/model/AppState.h"
#include "devices/DeviceChangeHandlers.h"
#include "devices/DeviceChangeWindow_win.h"
#include "devices/HidInterface_win.h"
#include "devices/ScaleSelection.h"
#include "devices/UsbHidEnum_win.h"

namespace devices::win {

class ScaleDevices {
  public:
    ScaleDevices(base::AppState& state, IScaleListView& list, base::IReadingDisplay& display, base::IReadTimer& timer)
        : _selection(state, list, display, timer, _enumerator, _port),
          _handlers(state, list, display, timer, _selection) {}
    ScaleDevices(const ScaleDevices&) = delete;
    ScaleDevices& operator=(const ScaleDevices&) = delete;

    [[nodiscard]] ScaleSelection& Selection() noexcept { return _selection; }
    [[nodiscard]] const HidPortWin& Port() const noexcept { return _port; }
    [[nodiscard]] HidPortWin& Port() noexcept { return _port; }

    // Starts following device arrival and removal; false when no notifications will come.
    bool StartNotifications() {
        _notifications = std::make_unique<DeviceChangeWindow>(_handlers);
        return _notifications->Listening();
    }
    void StopNotifications() noexcept { _notifications.reset(); }
    [[nodiscard]] DeviceChangeWindow* Notifications() noexcept { return _notifications.get(); }

  private:
    HidPortWin _port;
    UsbHidEnumerator _enumerator;
    ScaleSelection _selection;
    DeviceChangeHandlers _handlers;
    std::unique_ptr<DeviceChangeWindow> _notifications;
};

}  // namespace devices::win

#pragma once
// The device-change notification source : a hidden top-level Unicode window of its own
// (volume notifications reach only top-level windows), subclassed through WindowSubclass, registered
// for every device interface class. Each WM_DEVICECHANGE is parsed and handed to the portable
// DeviceNotifications, which raises its events on `events`.
//
// MainWindow creates one at start-up (after the scale list exists) and destroys it at shutdown;
// create and destroy it on the window thread.
#include <windows.h>

#include <map>
#include <optional>

#include "base/win/BaseWindow_win.h"
#include "base/win/Handles_win.h"
#include "base/win/WindowSubclass_win.h"
#include "devices/DeviceNotifications.h"

namespace devices::win {

class DeviceChangeWindow final : public base::BaseWindow<DeviceChangeWindow>,
                                 public base::win::IWindowHook,
                                 private IVolumeNotifications {
  public:
    explicit DeviceChangeWindow(IDeviceEvents& events);
    ~DeviceChangeWindow() override;

    // True when the window, its subclass and the interface subscription are all in place.
    [[nodiscard]] bool Listening() const noexcept;
    [[nodiscard]] DeviceNotifications& Device() noexcept { return *_notifications; }

    LRESULT Message(HWND hWnd, UINT uiMsg, WPARAM wParam, LPARAM lParam, DWORD_PTR dwRefData) noexcept override;

  private:
    friend class base::BaseWindow<DeviceChangeWindow>;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept;

    uintptr_t Subscribe(char driveLetter) override;
    void Unsubscribe(uintptr_t subscription) override;

    base::unique_hwnd _window;
    bool _subclassed = false;
    base::unique_hdevnotify _hNotifyInterfaces;
    std::map<uintptr_t, base::unique_hdevnotify> _hDriveNotify;  // owned here, named by value in _notifications
    std::optional<DeviceNotifications> _notifications;
};

}  // namespace devices::win

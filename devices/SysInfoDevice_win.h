#pragma once
// The device-change notification source `sid`: a hidden top-level Unicode window of its own
// (volume notifications reach only top-level windows), subclassed through MHookXP, registered
// for every device interface class. Each WM_DEVICECHANGE is parsed and handed to the portable
// CSysInfoDevice, which raises its events on `events`.
//
// Form1 creates one at start-up (after the scale list exists) and destroys it at shutdown;
// create and destroy it on the window thread.
#include <windows.h>

#include <map>
#include <optional>

#include "app/BaseWindow_win.h"
#include "app/Handles_win.h"
#include "devices/MHookXP_win.h"
#include "devices/SysInfoDevice.h"

namespace devices::win {

class SysInfoDeviceWindow final : public app::BaseWindow<SysInfoDeviceWindow>,
                                  public IHookXP,
                                  private IVolumeNotifications {
  public:
    explicit SysInfoDeviceWindow(ISysInfoDeviceEvents& events);
    ~SysInfoDeviceWindow() override;

    // True when the window, its subclass and the interface subscription are all in place.
    [[nodiscard]] bool Listening() const noexcept;
    [[nodiscard]] CSysInfoDevice& Device() noexcept { return *_sid; }

    LRESULT Message(HWND hWnd, UINT uiMsg, WPARAM wParam, LPARAM lParam, DWORD_PTR dwRefData) noexcept override;

  private:
    friend class app::BaseWindow<SysInfoDeviceWindow>;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept;

    uintptr_t Subscribe(char driveLetter) override;
    void Unsubscribe(uintptr_t subscription) override;

    app::unique_hwnd _window;
    bool _subclassed = false;
    app::unique_hdevnotify _hNotifyInterfaces;
    std::map<uintptr_t, app::unique_hdevnotify> _hDriveNotify;  // owned here, named by value in _sid
    std::optional<CSysInfoDevice> _sid;
};

}  // namespace devices::win

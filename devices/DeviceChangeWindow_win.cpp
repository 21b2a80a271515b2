#include "devices/DeviceChangeWindow_win.h"

#include <commctrl.h>
#include <dbt.h>

#include <algorithm>
#include <span>
#include <string>

#include "devices/DeviceBroadcast.h"

namespace devices::win {

namespace {
constexpr wchar_t kClassName[] = L"PesoraDeviceNotify";

// The filter records carry a fixed 1024-byte name or data area after their fixed part.
struct DeviceInterfaceFilter {
    DWORD size;
    DWORD devType;
    DWORD reserved;
    GUID classGuid;
    char name[1024];
};
static_assert(sizeof(DeviceInterfaceFilter) == 1052);

struct HandleFilter {
    DEV_BROADCAST_HANDLE header;
    BYTE data[1024];
};

// Broadcast records are at most a few hundred bytes; a size beyond this is not trusted.
constexpr DWORD kMaxRecordSize = 64 * 1024;

ATOM RegisterOnce(WNDPROC proc) {
    static const ATOM atom = [proc] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = kClassName;
        return ::RegisterClassExW(&wc);
    }();
    return atom;
}
}  // namespace

DeviceChangeWindow::DeviceChangeWindow(IDeviceEvents& events) {
    _notifications.emplace(static_cast<IVolumeNotifications&>(*this), events);
    if (RegisterOnce(&WndProc) == 0) {
        return;  // no window, no notifications; the list can still be refreshed by hand
    }
    // Top-level and never shown: volume arrivals are broadcast to top-level windows only, so
    // a message-only window would miss them.
    _window.reset(::CreateWindowExW(/* dwExStyle */ 0, kClassName, L"", WS_POPUP, 0, 0, 0, 0,
                                    /* hWndParent */ nullptr, /* hMenu */ nullptr, ::GetModuleHandleW(nullptr),
                                    /* lpParam */ this));
    if (!_window) {
        return;
    }
    _subclassed = base::win::AttachWindowHook(_window.get(), this, 0);

    DeviceInterfaceFilter filter{};
    filter.size = sizeof filter;
    filter.devType = DBT_DEVTYP_DEVICEINTERFACE;
    _hNotifyInterfaces.reset(::RegisterDeviceNotificationA(
        _window.get(), &filter, DEVICE_NOTIFY_WINDOW_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES));
}

DeviceChangeWindow::~DeviceChangeWindow() {
    _notifications.reset();  // drops the volume subscriptions
    _hDriveNotify.clear();
    _hNotifyInterfaces.reset();
    if (_subclassed) {
        (void)base::win::DetachWindowHook(_window.get(), this);
        _subclassed = false;
    }
    _window.reset();
}

bool DeviceChangeWindow::Listening() const noexcept {
    return _window && _subclassed && _hNotifyInterfaces;
}

LRESULT DeviceChangeWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    return ::DefWindowProcW(_hwnd, msg, wParam, lParam);
}

LRESULT DeviceChangeWindow::Message(HWND hWnd,
                                    UINT uiMsg,
                                    WPARAM wParam,
                                    LPARAM lParam,
                                    DWORD_PTR /*dwRefData*/) noexcept {
    try {
        if (uiMsg == WM_DEVICECHANGE && _notifications) {
            std::optional<DeviceBroadcast> broadcast;
            if (lParam != 0) {
                // The record is the system's; its own size field says how far it reaches. This
                // window is a Unicode window, so interface names arrive in UTF-16.
                const auto* record = reinterpret_cast<const uint8_t*>(lParam);
                const DWORD size = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam)->dbch_size;
                broadcast = ParseDeviceBroadcast(std::span<const uint8_t>(record, std::min(size, kMaxRecordSize)));
            }
            const uint32_t result = _notifications->OnWindowMessage(uiMsg, wParam, broadcast ? &*broadcast : nullptr);
            if (result != 0) {
                return static_cast<LRESULT>(result);
            }
        }
    } catch (...) {
        // A failed notification is ignored; the message still gets its default processing.
    }
    if (uiMsg == WM_NCDESTROY) {
        // Destroyed from outside: the subclass goes with it (WindowSubclass), the handle is dead.
        _subclassed = false;
        (void)_window.release();
    }
    return ::DefSubclassProc(hWnd, uiMsg, wParam, lParam);
}

uintptr_t DeviceChangeWindow::Subscribe(char driveLetter) {
    if (!_window) {
        return 0;
    }
    const std::string volumePath = std::string("\\\\.\\") + driveLetter + ":";
    base::unique_hfile volume(::CreateFileA(volumePath.c_str(), /* dwDesiredAccess */ 0, /* dwShareMode */ 0,
                                            /* lpSecurityAttributes */ nullptr, OPEN_ALWAYS, /* flags */ 0,
                                            /* hTemplateFile */ nullptr));
    if (!volume) {
        return 0;
    }
    HandleFilter filter{};
    filter.header.dbch_size = sizeof filter;
    filter.header.dbch_devicetype = DBT_DEVTYP_HANDLE;
    filter.header.dbch_handle = volume.get();
    base::unique_hdevnotify subscription(
        ::RegisterDeviceNotificationA(_window.get(), &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
    if (!subscription) {
        return 0;
    }
    // The subscription outlives the volume handle it was made with.
    const auto id = reinterpret_cast<uintptr_t>(subscription.get());
    _hDriveNotify[id] = std::move(subscription);
    return id;
}

void DeviceChangeWindow::Unsubscribe(uintptr_t subscription) {
    _hDriveNotify.erase(subscription);
}

}  // namespace devices::win

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
#include "devices/serial/SerialLine_win.h"
#include "devices/serial/SerialPorts_win.h"
#include "devices/serial/SerialScale.h"

namespace devices::win {

class ScaleDevices {
  public:
    ScaleDevices(base::AppState& state, IScaleListView& list, base::IReadingDisplay& display, base::IReadTimer& timer)
        : _serialNews(::CreateEventW(nullptr, /* bManualReset */ FALSE, /* bInitialState */ FALSE, nullptr)),
          _serial(
              state.settings,
              [] { return std::make_unique<serial::win::SerialLineWin>(); },
              [this] { (void)::SetEvent(_serialNews.get()); }),
          _selection(state, list, display, timer, _enumerator, _port, &_serialPorts, &_serial),
          _handlers(state, list, display, timer, _selection) {}
    ScaleDevices(const ScaleDevices&) = delete;
    ScaleDevices& operator=(const ScaleDevices&) = delete;

    [[nodiscard]] ScaleSelection& Selection() noexcept { return _selection; }
    [[nodiscard]] const HidPortWin& Port() const noexcept { return _port; }
    [[nodiscard]] HidPortWin& Port() noexcept { return _port; }
    [[nodiscard]] serial::SerialScale& Serial() noexcept { return _serial; }

    // What the window waits on for the scale being read: the HID reader's news, or the serial
    // worker's.
    [[nodiscard]] HANDLE ReadEvent() const noexcept {
        return _selection.Reads(_serial) ? _serialNews.get() : _port.ReadEvent();
    }

    // Starts following device arrival and removal; false when no notifications will come.
    bool StartNotifications() {
        _notifications = std::make_unique<DeviceChangeWindow>(_handlers);
        return _notifications->Listening();
    }
    void StopNotifications() noexcept {
        _notifications.reset();
        _portWatch.reset();
    }
    [[nodiscard]] DeviceChangeWindow* Notifications() noexcept { return _notifications.get(); }

    // `message` reaches `window` when the system's serial ports change; ArmPortWatch again then.
    void StartPortWatch(HWND window, UINT message) {
        _portWatch = std::make_unique<serial::win::SerialPortWatch>(window, message);
        (void)_portWatch->Arm();  // without it, the ports are listed again on refreshes only
    }
    void ArmPortWatch() {
        if (_portWatch) {
            (void)_portWatch->Arm();
        }
    }

  private:
    HidPortWin _port;
    UsbHidEnumerator _enumerator;
    serial::win::SerialPortEnumeratorWin _serialPorts;
    base::unique_handle _serialNews;  // auto reset: set by the serial worker after each piece of news
    serial::SerialScale _serial;
    ScaleSelection _selection;
    DeviceChangeHandlers _handlers;
    std::unique_ptr<DeviceChangeWindow> _notifications;
    std::unique_ptr<serial::win::SerialPortWatch> _portWatch;
};

}  // namespace devices::win

#pragma once
// Everything of the scale devices that the main window owns, wired together.
//
//   devices::win::ScaleDevices devices{state, view};   // member of Form1
//   devices.Selection().Command2_Click();              // start-up and "Refresh Device List"
//   devices.Selection().List2_Click();                 // LBN_SELCHANGE of List2
//   devices.Selection().ReadInputReport(buffer);       // each Timer1 tick, while deviceOpen
//   devices.Selection().SendZeroReport();              // the zero command
//   devices.CreateSid();  ...  devices.ReleaseSid();   // start-up / shutdown
//   devices.Selection().CloseScaleDevice();            // shutdown
#include <memory>

#include "app/AppState.h"
#include "app/MainView.h"
#include "devices/DeviceChangeHandlers.h"
#include "devices/HidInterface_win.h"
#include "devices/ScaleSelection.h"
#include "devices/SysInfoDevice_win.h"
#include "devices/UsbHidEnum_win.h"

namespace devices::win {

class ScaleDevices {
  public:
    ScaleDevices(app::AppState& state, app::IMainView& view)
        : _selection(state, view, _enumerator, _port), _handlers(state, view, _selection) {}
    ScaleDevices(const ScaleDevices&) = delete;
    ScaleDevices& operator=(const ScaleDevices&) = delete;

    [[nodiscard]] ScaleSelection& Selection() noexcept { return _selection; }

    // Starts following device arrival and removal; false when no notifications will come.
    bool CreateSid() {
        _sid = std::make_unique<SysInfoDeviceWindow>(_handlers);
        return _sid->Listening();
    }
    void ReleaseSid() noexcept { _sid.reset(); }
    [[nodiscard]] SysInfoDeviceWindow* Sid() noexcept { return _sid.get(); }

  private:
    HidPortWin _port;
    UsbHidEnumerator _enumerator;
    ScaleSelection _selection;
    DeviceChangeHandlers _handlers;
    std::unique_ptr<SysInfoDeviceWindow> _sid;
};

}  // namespace devices::win

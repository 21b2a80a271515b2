#pragma once
// The serial ports the system knows, for the scale list, and a watch on them: the list is read
// again whenever the system's list of serial ports changes (a USB serial adapter plugged in or
// out). Ports are only listed here, never opened.
#include <windows.h>

#include <optional>
#include <vector>

#include "base/model/ScaleDeviceRecord.h"
#include "base/win/Handles_win.h"
#include "base/win/MessagePump_win.h"
#include "devices/ScaleSelection.h"

namespace devices::serial::win {

// The ports in HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, named by the Ports class's friendly names.
class SerialPortEnumeratorWin final : public IScaleEnumerator {
  public:
    std::optional<std::vector<base::ScaleDeviceRecord>> Enumerate() override;
};

// Posts `message` to the window when the port list changes. Arm again after each message. The
// main loop waits for the change, not a thread: the list then follows only once an open menu or
// dialog has closed, which costs the user nothing, while a thread would cost every copy about a
// megabyte under Wine.
class SerialPortWatch {
  public:
    SerialPortWatch(HWND window, UINT message);
    SerialPortWatch(const SerialPortWatch&) = delete;
    SerialPortWatch& operator=(const SerialPortWatch&) = delete;
    ~SerialPortWatch() = default;

    // False when the change cannot be followed (the list is then read on refreshes only).
    bool Arm();

  private:
    base::unique_hkey _key;
    bool _whole = false;           // _key is SERIALCOMM's parent, watched with its subtree
    base::unique_handle _changed;  // auto reset
    base::win::LoopWake _wake;     // declared last: the loop stops waiting before the event closes
};

}  // namespace devices::serial::win

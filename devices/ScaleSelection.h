#pragma once
// The scale list and the choice of scale, over the main window's state and view.
//
// MainWindow owns one ScaleSelection and calls:
//   RefreshButton_Click()   at start-up, on "Refresh Device List" and after a HID device change;
//   ScaleList_Click()      on LBN_SELCHANGE of the scale list;
//   ReadInputReport()  once per read cycle, only while state.deviceOpen (the read cycle's
//                      weighing::IScaleDevice::ReadInputReport(buffer, waitMs) maps 1:1 onto
//                      ReadInputReport(buffer, waitMs); the cycle runs when the scale has sent
//                      something, and waits 0 ms);
//   SendZeroReport()   for the zero command, only while state.deviceOpen and a row is selected;
//   CloseScaleDevice() at shutdown.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/model/AppState.h"
#include "base/model/ScaleDeviceRecord.h"
#include "base/model/Views.h"
#include "devices/ChosenScale.h"
#include "devices/HidInterface.h"
#include "devices/ScaleListCommands.h"
#include "devices/ScaleListView.h"

namespace devices {

// Enumerates the HID devices; nothing when there is no list at all (EnumHidDevices).
class IScaleEnumerator {
  public:
    virtual ~IScaleEnumerator() = default;
    virtual std::optional<std::vector<base::ScaleDeviceRecord>> Enumerate() = 0;
};

// True when the row text holds none of "KEYBOARD", "TOUCH" and "\\?\HID" after upper-casing
// (the last drops devices without a Plug and Play name, listed under their raw path).
[[nodiscard]] bool IsScaleCandidate(std::string_view displayName);
[[nodiscard]] std::vector<base::ScaleDeviceRecord> FilterScaleCandidates(
    const std::vector<base::ScaleDeviceRecord>& records);

inline constexpr std::string_view kNoScalesFound = "No USB HID Scales Found";

class ScaleSelection final : public IScaleListCommands {
  public:
    ScaleSelection(base::AppState& state,
                   IScaleListView& list,
                   base::IReadingDisplay& display,
                   base::IReadTimer& timer,
                   IScaleEnumerator& enumerator,
                   IHidPort& port,
                   IScaleEnumerator* serialPorts = nullptr,
                   IChosenScale* serial = nullptr) noexcept
        : _state(state),
          _list(list),
          _display(display),
          _timer(timer),
          _enumerator(enumerator),
          _hid(port),
          _serialPorts(serialPorts),
          _serial(serial) {}

    // Re-enumerates, rebuilds the scale list and scaleTable (the HID scales, then the serial
    // ports), and re-selects settings.SelectedScale (which runs ScaleList_Click). A refresh that
    // finds no scale leaves the table and any reading under way alone; a serial port being read
    // that is no longer listed is closed.
    void RefreshButton_Click() override;

    // Opens the selected row's scale from a fresh handle, as a serial scale when its path names
    // a serial port; SelectedScale is remembered only after a successful open. Never starts a
    // read itself: it runs inside the read cycle.
    void ScaleList_Click() override;

    // One report into `dest` (the 8-byte report buffer), waiting SampleRate - 50 ms. When
    // nothing arrives `dest` keeps its previous report and the read stays open; only a failed
    // read closes the device and opens the selected row again. A serial port that is gone is
    // read as an unplugged scale (no weight, the hotkey silent) until it reports again.
    void ReadInputReport(std::span<uint8_t> dest);
    // The same with the wait given by the caller (the read cycle computes it from SampleRate).
    void ReadInputReport(std::span<uint8_t> dest, uint32_t waitMs);

    // Sends 02 02 00 00 00 to the selected row's device through a second handle; reading goes
    // on through the first.
    void SendZeroReport();

    void CloseScaleDevice();

    // Zero Scale does something for the scale being read (a serial scale whose protocol has a
    // zero command, once it is known; every HID scale), or no scale is read.
    [[nodiscard]] bool CanZero() const { return !_state.deviceOpen || _chosen->CanZero(); }
    // Whether `scale` is the kind of device last opened.
    [[nodiscard]] bool Reads(const IChosenScale& scale) const noexcept { return _chosen == &scale; }
    // What the scale being read says of itself for the status line.
    [[nodiscard]] ScaleNotice Notice() const { return _state.deviceOpen ? _chosen->Notice() : ScaleNotice{}; }

    // Removed devices stay out of the list until they arrive again or the enumeration no
    // longer reports them. Paths are compared without regard to case: the notification spells
    // an interface path in another case than the raw-input list may.
    void DeviceRemoved(std::string_view interfacePath) override;
    void DeviceArrived(std::string_view interfacePath) override;

  private:
    base::AppState& _state;
    IScaleListView& _list;
    base::IReadingDisplay& _display;
    base::IReadTimer& _timer;
    IScaleEnumerator& _enumerator;
    HidInterface _hid;
    IScaleEnumerator* _serialPorts;
    IChosenScale* _serial;
    IChosenScale* _chosen = &_hid;  // the kind of device last opened
    bool _gone = false;             // the scale being read is away (a serial port that failed)
    std::vector<std::string> _removed;
};

}  // namespace devices

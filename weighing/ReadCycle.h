#pragma once
// The read cycle that Timer1 drives, and the zero command. Both are the order of steps only:
// the device side (HID I/O, re-opening on a time-out) sits behind IScaleDevice, the window
// behind app::IMainView, and the state is the main window's app::AppState.
//
// Wiring, in Form1 (one ReadCycle for the life of the window):
//   weighing::ReadCycle readCycle(state, view, device, weighing::UserNumberSeparators());
//   Timer1_Timer()   ->  readCycle.ReadWeight();
//   Command1_Click() ->  weighing::Command1_Click(state, view, device);
// Call SetSeparators() again if the user's locale changes (WM_SETTINGCHANGE). `device` adapts the
// HID side; over devices::HidInterface, whose wait is its rate less 50 ms:
//   ReadInputReport(buffer, waitMs): if (!hid.ReadReport(buffer, int32_t(waitMs) + 50)) List2_Click();
//   SendZeroReport(): hid.SendZeroReport(state.deviceOpen, state.scaleTable[ListIndex()].devicePath);
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "app/AppState.h"
#include "app/MainView.h"
#include "weighing/NumberFormat.h"

namespace weighing {

// What the weighing code needs of the scale's device.
class IScaleDevice {
  public:
    virtual ~IScaleDevice() = default;
    // Reads at most one input report (report id first) into `reportBuffer`, waiting at most
    // `waitMs`. When none comes it leaves the buffer as it was and takes the re-open path, which
    // may clear AppState::deviceOpen.
    virtual void ReadInputReport(std::span<uint8_t, 8> reportBuffer, uint32_t waitMs) = 0;
    // Closes the reading handle and writes 02 02 00 00 00 to the selected row's device.
    virtual void SendZeroReport() = 0;
};

inline constexpr int32_t kMinSampleRateMs = 50;
inline constexpr uint32_t kMaxReadWaitMs = 450;

// The time a read may wait in a cycle of `sampleRate` ms: the rate less 50 ms, within 0..450.
[[nodiscard]] uint32_t ReadWaitMs(int32_t sampleRate);

inline constexpr std::string_view kScaleNotFound = "Scale Not Found";

class ReadCycle {
  public:
    ReadCycle(app::AppState& state, app::IMainView& view, IScaleDevice& device, NumberSeparators separators = {});
    ReadCycle(const ReadCycle&) = delete;
    ReadCycle& operator=(const ReadCycle&) = delete;

    // One Timer1 tick. A tick that arrives while a cycle is still running (from the message
    // pass inside it) is dropped. The message pass can also run the window's close: the owner
    // must not destroy this object while Running() is true.
    void ReadWeight();

    void SetSeparators(NumberSeparators separators) { _separators = std::move(separators); }
    [[nodiscard]] bool Running() const { return _running; }

  private:
    const FormatSpec& WeightFormat();

    app::AppState& _state;
    app::IMainView& _view;
    IScaleDevice& _device;
    NumberSeparators _separators;
    bool _running = false;
    std::string _parsedFormat;  // the expression _format was parsed from
    FormatSpec _format;
};

// The "Zero Scale" button: sends the zero report when a scale is open and a row of List2 with a
// device behind it is selected; does nothing otherwise.
void Command1_Click(const app::AppState& state, const app::IMainView& view, IScaleDevice& device);

}  // namespace weighing

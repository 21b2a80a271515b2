#pragma once
// The read cycle, which the ReadPacer runs when the scale has sent something, and the zero
// command. Both are the order of steps only: the device side (HID I/O, re-opening after a
// failure) sits behind IScaleDevice, the window behind IReadCycleView and base::IReadTimer, and
// the state is the shared base::AppState.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "base/model/AppState.h"
#include "base/model/Views.h"
#include "weighing/NumberFormat.h"
#include "weighing/SettledSend.h"

namespace weighing {

// What the weighing code needs of the scale's device.
class IScaleDevice {
  public:
    virtual ~IScaleDevice() = default;
    // Reads the newest input report (report id first) into `reportBuffer`, waiting at most
    // `waitMs`. When none comes it leaves the buffer as it was; a failed read takes the re-open
    // path, which may clear base::AppState::deviceOpen.
    virtual void ReadInputReport(std::span<uint8_t, 8> reportBuffer, uint32_t waitMs) = 0;
    // Writes 02 02 00 00 00 to the selected row's device; reading goes on.
    virtual void SendZeroReport() = 0;
};

// What the read cycle needs of the window: the reading's lines, the weight caption, and one
// pass over the queued messages while it waits for the scale.
class IReadCycleView : public base::IReadingDisplay {
  public:
    virtual void SetWeightCaption(std::string_view text) = 0;
    virtual void DoEvents() = 0;
    // The reading just shown, or that there is none: what waits for a settled weight hears here.
    virtual void ReadingShown(const ShownReading& /*reading*/) {}
};

inline constexpr std::string_view kScaleNotFound = "Scale Not Found";

class ReadCycle {
  public:
    ReadCycle(base::AppState& state,
              IReadCycleView& view,
              base::IReadTimer& timer,
              IScaleDevice& device,
              NumberSeparators separators = {});
    ReadCycle(const ReadCycle&) = delete;
    ReadCycle& operator=(const ReadCycle&) = delete;

    // One cycle: takes what the scale has sent, without waiting, and shows the newest. A cycle
    // asked for while one is still running (from the message pass inside it) is dropped. True
    // when the reading may have changed: a scale that repeats its report changes nothing. The message pass can also run
    // the window's close: the owner must not destroy this object while Running() is true.
    bool ReadWeight();

    // Before a hotkey send: takes the reports the scale has already sent, without waiting and
    // without processing messages, and shows them, so that the weight typed is never up to a
    // tick old. Does nothing while no scale is read, or while a cycle is inside its read.
    void TakeQueuedReports();

    void SetSeparators(NumberSeparators separators) { _separators = std::move(separators); }
    [[nodiscard]] bool Running() const { return _running; }

  private:
    const FormatSpec& WeightFormat();
    void Read(uint32_t waitMs);
    void ShowReport();

    base::AppState& _state;
    IReadCycleView& _view;
    base::IReadTimer& _timer;
    IScaleDevice& _device;
    NumberSeparators _separators;
    bool _running = false;
    bool _reading = false;      // inside the device read itself
    std::string _parsedFormat;  // the expression _format was parsed from
    FormatSpec _format;
};

// The "Zero Scale" button: sends the zero report when a scale is open and the selected row of the
// scale list (-1 for none) has a device behind it; does nothing otherwise. True when it sent it.
bool ZeroButton_Click(const base::AppState& state, int selectedRow, IScaleDevice& device);

}  // namespace weighing

#include "weighing/ReadCycle.h"

#include <algorithm>
#include <array>

#include "weighing/ScaleReport.h"
#include "weighing/WeightFormatting.h"

namespace weighing {
namespace {

// Clears the running flag however the cycle ends.
class RunningScope {
  public:
    explicit RunningScope(bool& flag) : _flag(flag) { _flag = true; }
    RunningScope(const RunningScope&) = delete;
    RunningScope& operator=(const RunningScope&) = delete;
    ~RunningScope() { _flag = false; }

  private:
    bool& _flag;
};

}  // namespace

ReadCycle::ReadCycle(base::AppState& state,
                     IReadCycleView& view,
                     base::IReadTimer& timer,
                     IScaleDevice& device,
                     NumberSeparators separators)
    : _state(state), _view(view), _timer(timer), _device(device), _separators(std::move(separators)) {}

const FormatSpec& ReadCycle::WeightFormat() {
    if (_state.settings.WeightFormat != _parsedFormat) {
        _parsedFormat = _state.settings.WeightFormat;
        _format = ParseFormat(_parsedFormat);
    }
    return _format;
}

// The read uses one request and one event for the whole program, and the message pass below can
// deliver another wake (or a click that ends in here): it must not start a second cycle inside
// this one, so it is dropped; the read this cycle leaves running wakes the window again.
bool ReadCycle::ReadWeight() {
    if (_running) {
        return false;
    }
    RunningScope running(_running);
    const std::array<uint8_t, 8> before = _state.reportBuffer;
    const bool hadWeight = _state.HasWeight();

    if (_state.deviceOpen) {
        // The cycle runs when the scale has sent something or the interval is up: there is
        // nothing to wait for, and a wait would hold the window.
        Read(/* waitMs */ 0);
        _view.DoEvents();
        if (!_timer.TimerEnabled()) {
            // The selected scale was pulled out while the messages ran: its removal stopped the
            // timer and emptied the weight. Finishing the cycle would put the weight of a scale
            // that is gone back on screen, and in what the hotkey types.
            return true;
        }
    }
    ShowReport();
    return _state.reportBuffer != before || _state.HasWeight() != hadWeight;
}

// A hotkey pressed just after the weight changed would otherwise type the weight of the last
// tick. This runs from the hotkey's message, which can come inside a cycle's message pass: that
// cycle's read is over by then, and it decodes the report buffer again afterwards, so reading
// here is safe everywhere except inside the read itself.
void ReadCycle::TakeQueuedReports() {
    if (_reading || !_state.deviceOpen || !_timer.TimerEnabled()) {
        return;
    }
    Read(/* waitMs */ 0);
    ShowReport();
}

void ReadCycle::Read(uint32_t waitMs) {
    RunningScope reading(_reading);
    _device.ReadInputReport(_state.reportBuffer, waitMs);
}

void ReadCycle::ShowReport() {
    // Asked again: the re-open after a failed read may have failed.
    if (!_state.deviceOpen) {
        _timer.SetTimerEnabled(false);
        _view.SetStatus(kScaleNotFound);
    } else {
        _view.SetStatus(StatusCaption(_state.reportBuffer[1]));
    }

    // A scale that is gone, or one that has not reported yet, has no weight: the report last
    // received belongs to a scale that is no longer read.
    if (!_state.HasWeight()) {
        _state.weightText.clear();
        _view.SetWeightBox("");
        _view.ReadingShown({});
        return;
    }
    const WeightReading reading = DecodeReport(_state.reportBuffer);
    WeightDisplay display = FormatWeight(reading, _state.settings, WeightFormat(), _state.unitsSuffix, _separators);
    _state.weightText = std::move(display.weightText);
    _state.unitsSuffix = std::move(display.unitsSuffix);
    _view.SetWeightBox(display.weightBox);
    _view.SetWeightCaption(display.weightCaption);
    _view.ReadingShown({true, reading.status, display.value, display.weightBox});
}

// The device side writes through a handle of its own while the read goes on, so the report
// the scale sends right after its zero is read like any other.
bool ZeroButton_Click(const base::AppState& state, int selectedRow, IScaleDevice& device) {
    if (!state.deviceOpen || selectedRow < 0 || static_cast<size_t>(selectedRow) >= state.scaleTable.size()) {
        return false;
    }
    device.SendZeroReport();
    return true;
}

}  // namespace weighing

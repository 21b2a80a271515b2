#include "weighing/ReadCycle.h"

#include <algorithm>

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

// Rates below 50 ms (only from a hand-edited file) would give a negative wait: they poll. The
// upper bound is the longest wait the settings dialog offers, so that a huge rate typed into the
// file cannot freeze the window for minutes while a scale is silent.
uint32_t ReadWaitMs(int32_t sampleRate) {
    const int64_t wait = static_cast<int64_t>(sampleRate) - kMinSampleRateMs;
    return static_cast<uint32_t>(std::clamp<int64_t>(wait, 0, kMaxReadWaitMs));
}

ReadCycle::ReadCycle(app::AppState& state, app::IMainView& view, IScaleDevice& device, NumberSeparators separators)
    : _state(state), _view(view), _device(device), _separators(std::move(separators)) {}

const FormatSpec& ReadCycle::WeightFormat() {
    if (_state.settings.WeightFormat != _parsedFormat) {
        _parsedFormat = _state.settings.WeightFormat;
        _format = ParseFormat(_parsedFormat);
    }
    return _format;
}

// The read uses one request and one event for the whole program, and the message pass below can
// deliver another Timer1 tick (or a click that ends in here): such a tick must not start a second
// cycle inside this one, so it is dropped; the next regular tick reads again.
void ReadCycle::ReadWeight() {
    if (_running) {
        return;
    }
    RunningScope running(_running);

    if (_state.deviceOpen) {
        _device.ReadInputReport(_state.reportBuffer, ReadWaitMs(_state.settings.SampleRate));
        _view.DoEvents();
        if (!_view.TimerEnabled()) {
            // The selected scale was pulled out while the messages ran: its removal stopped the
            // timer and emptied the weight. Finishing the cycle would put the weight of a scale
            // that is gone back on screen, and in what the hotkey types.
            return;
        }
    }
    // Asked again: the re-open after a silent read may have failed.
    if (!_state.deviceOpen) {
        _view.SetTimerEnabled(false);
        _view.SetStatus(kScaleNotFound);
    } else {
        _view.SetStatus(StatusCaption(_state.reportBuffer[1]));
    }

    // Also after "Scale Not Found": the display then shows the report last received.
    const WeightReading reading = DecodeReport(_state.reportBuffer);
    WeightDisplay display = FormatWeight(reading, _state.settings, WeightFormat(), _state.unitsSuffix, _separators);
    _state.weightText = std::move(display.weightText);
    _state.unitsSuffix = std::move(display.unitsSuffix);
    _view.SetWeightBox(display.weightBox);
    _view.SetWeightCaption(display.weightCaption);
}

// The device side closes the reading handle to write; the next cycle's read then finds no
// report, takes the time-out path and opens the scale again, which is how reading resumes.
void Command1_Click(const app::AppState& state, const app::IMainView& view, IScaleDevice& device) {
    const int row = view.ListIndex();
    if (!state.deviceOpen || row < 0 || static_cast<size_t>(row) >= state.scaleTable.size()) {
        return;
    }
    device.SendZeroReport();
}

}  // namespace weighing

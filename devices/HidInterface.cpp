#include "devices/HidInterface.h"

#include <algorithm>

#include "devices/DevicePath.h"

namespace devices {

namespace {
// The scale data report is read as 8 bytes (report ID, 5 data bytes, padding): the length the
// current report is asked for with before the first read has said otherwise.
constexpr size_t kDefaultReportLength = 8;
}  // namespace

// A scale that reports only when its weight changes sends nothing about the parcel that is
// already on it: without asking, the weight shown (and typed) would be 0 or whatever the last
// scale said until someone touched the platform.
bool HidInterface::OpenScaleDevice(std::string_view devicePath) {
    if (!_port.OpenRead(devicePath)) {
        return false;
    }
    if (!SameDevicePath(_heldPath, devicePath)) {
        _heldLength = 0;  // another scale's report is not this one's weight
    }
    _openPath = devicePath;
    _lastReportMs = _port.NowMs();
    AskCurrentReport();
    return true;
}

// The answer is not waited for: a scale that takes its time would hold the window. It is held
// when it comes, and a scale that refuses is read as before: it reports by itself.
void HidInterface::AskCurrentReport() {
    std::array<uint8_t, kStagingBufferSize> request{};
    request[0] = _reportId;
    const size_t length = _readLength == 0 ? kDefaultReportLength : _readLength;
    if (_port.AskInputReport(std::span<const uint8_t>(request).first(length))) {
        CollectAnswer();  // one given at once
    }
}

void HidInterface::CollectAnswer() {
    std::array<uint8_t, kStagingBufferSize> report{};
    const std::optional<size_t> count = _port.TakeAnswer(report);
    if (count && *count > 0) {
        Hold(std::span<const uint8_t>(report).first(std::min(*count, report.size())));
    }
}

void HidInterface::Hold(std::span<const uint8_t> report) {
    _heldLength = std::min(report.size(), _held.size());
    std::copy_n(report.begin(), _heldLength, _held.begin());
    _heldPath = _openPath;
}

bool HidInterface::TakeHeld(std::span<uint8_t> dest, size_t length) {
    if (_heldLength == 0) {
        return false;
    }
    const size_t count = std::min(_heldLength, length);
    std::copy_n(_held.begin(), count, dest.begin());
    NoteReportId(dest[0]);
    _heldLength = 0;
    return true;
}

void HidInterface::NoteReportId(uint8_t id) {
    if (id != 0) {
        _reportId = id;
    }
}

// A time-out used to cancel the read, close the handle and open the scale again, twenty times a
// second at the default rate: a report that arrived while the handle was closed, or while the
// read was being cancelled, was gone, and the box (and the hotkey) kept the previous weight.
// Now the read started in one cycle is simply waited for again in the next one.
ReadOutcome HidInterface::ReadReport(std::span<uint8_t> dest, uint32_t waitMs) {
    const size_t length = std::min(dest.size(), kStagingBufferSize);
    _readLength = length;
    CollectAnswer();
    bool got = TakeHeld(dest, length);

    if (!_port.ReadRunning() && !_port.StartRead(length)) {
        return Fail();
    }
    size_t transferred = 0;
    ReadWait waited = _port.WaitRead(waitMs, &transferred);
    // The system queues every report a scale sends for each open handle. A scale that sends
    // as often as we read, or more often, would keep that queue full, and taking one report
    // per cycle would show (and type) a weight that is seconds old. What is already queued is
    // taken at once, without waiting, and the newest report wins. The read started last stays
    // running for the next cycle.
    int queuedTaken = 0;
    while (waited == ReadWait::Report) {
        CopyStaging(transferred, length, dest);
        got = true;
        if (!_port.StartRead(length)) {
            waited = ReadWait::Failed;
            break;
        }
        if (++queuedTaken > kMaxQueuedReports) {
            break;
        }
        waited = _port.WaitRead(0, &transferred);
    }
    if (waited == ReadWait::Failed) {
        return Fail();  // whatever arrived before the failure is in `dest` all the same
    }

    const uint64_t now = _port.NowMs();
    if (!got && now - _lastReportMs >= kSilenceAskMs) {
        // Asked again only after another silent spell, whether the scale answered or not.
        _lastReportMs = now;
        AskCurrentReport();
        got = TakeHeld(dest, length);
    }
    if (got) {
        _lastReportMs = now;
        return ReadOutcome::Report;
    }
    return ReadOutcome::NoReport;
}

ReadOutcome HidInterface::Fail() {
    (void)_port.CancelRead();  // a failed device has no report to keep
    _port.CloseRead();
    _openPath.clear();
    _heldLength = 0;
    return ReadOutcome::Failed;
}

void HidInterface::CopyStaging(size_t transferred, size_t length, std::span<uint8_t> dest) {
    std::span<const uint8_t> staging = _port.Staging();
    const size_t count = std::min({transferred, length, staging.size()});
    std::copy_n(staging.begin(), count, dest.begin());
    if (count > 0) {
        NoteReportId(dest[0]);
    }
}

void HidInterface::SendZeroReport(std::string_view devicePath) {
    _port.WriteOnce(devicePath, kZeroReport);
}

void HidInterface::CloseScaleDevice() {
    if (_port.ReadRunning()) {
        const std::optional<size_t> completed = _port.CancelRead();
        if (completed && *completed > 0) {
            const std::span<const uint8_t> staging = _port.Staging();
            Hold(staging.first(std::min(*completed, staging.size())));
        }
    }
    _port.CloseRead();
    _openPath.clear();
}

}  // namespace devices

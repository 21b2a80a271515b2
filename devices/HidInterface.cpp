#include "devices/HidInterface.h"

#include <algorithm>

namespace devices {

bool HidInterface::OpenScaleDevice(std::string_view devicePath) {
    return _port.OpenRead(devicePath);
}

bool HidInterface::ReadReport(std::span<uint8_t> dest, uint32_t waitMs) {
    const size_t length = std::min(dest.size(), kStagingBufferSize);
    _port.StartRead(length);
    std::optional<size_t> transferred = _port.WaitRead(waitMs);
    if (!transferred) {
        _port.CancelRead();
        CloseScaleDevice();
        return false;
    }
    CopyStaging(*transferred, length, dest);
    // The system queues every report a scale sends for each open handle. A scale that sends
    // as often as we read, or more often, would keep that queue full, and taking one report
    // per cycle would show (and type) a weight that is seconds old. What is already queued is
    // taken at once, without waiting, and the newest report wins.
    for (int i = 0; i < kMaxQueuedReports; ++i) {
        _port.StartRead(length);
        const std::optional<size_t> more = _port.WaitRead(0);
        if (!more) {
            _port.CancelRead(); // the queue is empty: the handle stays open for the next cycle
            break;
        }
        CopyStaging(*more, length, dest);
    }
    return true;
}

void HidInterface::CopyStaging(size_t transferred, size_t length, std::span<uint8_t> dest) const {
    std::span<const uint8_t> staging = _port.Staging();
    const size_t count = std::min({transferred, length, staging.size()});
    std::copy_n(staging.begin(), count, dest.begin());
}

void HidInterface::SendZeroReport(bool deviceOpen, std::string_view devicePath) {
    if (deviceOpen) {
        CloseScaleDevice();  // the read handle goes before a second handle is opened
    }
    _port.WriteOnce(devicePath, kZeroReport);
}

void HidInterface::CloseScaleDevice() {
    _port.CloseRead();
}

}  // namespace devices

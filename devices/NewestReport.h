#pragma once
// A scale streams its report many times a second whether or not anything changed, and the thread
// that reads it runs ahead of the window. The window is handed only the newest report, and only
// when it differs from the one the window took last: a repeat changes nothing the window shows,
// so the reader reads on without waking it.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "devices/HidInterface.h"

namespace devices {

class NewestReport {
  public:
    enum class Change {
        None,       // the window need not hear of it
        Waiting,    // a report waits for the window now, and none did before
        Withdrawn,  // the report that waited is gone: the newest repeats what the window holds
    };

    // The reader got `report`.
    Change Offer(std::span<const uint8_t> report) {
        if (_takenKnown && std::ranges::equal(report, std::span<const uint8_t>(_taken).first(_takenLength))) {
            const bool withdrawn = _waiting;
            _waiting = false;
            return withdrawn ? Change::Withdrawn : Change::None;
        }
        _pendingLength = std::min(report.size(), _pending.size());
        std::copy_n(report.begin(), _pendingLength, _pending.begin());
        const bool waitedBefore = _waiting;
        _waiting = true;
        return waitedBefore ? Change::None : Change::Waiting;
    }

    // The window takes the report that waits: its first bytes into `dest`, and their count. It
    // is what the window holds from now on. Nothing when no report waits.
    std::optional<size_t> Take(std::span<uint8_t> dest) {
        if (!_waiting) {
            return std::nullopt;
        }
        _waiting = false;
        _taken = _pending;
        _takenLength = _pendingLength;
        _takenKnown = true;
        const size_t count = std::min(_pendingLength, dest.size());
        std::copy_n(_pending.begin(), count, dest.begin());
        return count;
    }

    [[nodiscard]] bool Waiting() const { return _waiting; }

    // Another scale, or the same one opened again: its first report always reaches the window.
    void Forget() {
        _takenKnown = false;
        _waiting = false;
    }

  private:
    std::array<uint8_t, kStagingBufferSize> _pending{};
    size_t _pendingLength = 0;
    bool _waiting = false;
    std::array<uint8_t, kStagingBufferSize> _taken{};
    size_t _takenLength = 0;
    bool _takenKnown = false;
};

}  // namespace devices

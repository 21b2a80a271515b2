#pragma once
// A scale streams its report many times a second whether or not anything changed. A report equal
// to the one the read cycle took last changes nothing the window shows, so the side that
// collects reads can take it and read on without waking the window.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "devices/HidInterface.h"

namespace devices {

class RepeatedReport {
  public:
    // The read cycle took `report`: it is what the window holds now.
    void Taken(std::span<const uint8_t> report) {
        _length = std::min(report.size(), _last.size());
        std::copy_n(report.begin(), _length, _last.begin());
        _known = true;
    }
    // Another scale, or the same one opened again: its first report always reaches the window.
    void Forget() { _known = false; }
    [[nodiscard]] bool Repeats(std::span<const uint8_t> report) const {
        return _known && std::ranges::equal(report, std::span<const uint8_t>(_last).first(_length));
    }

  private:
    std::array<uint8_t, kStagingBufferSize> _last{};
    size_t _length = 0;
    bool _known = false;
};

}  // namespace devices

#pragma once
// The narrow views of the main window that more than one subsystem needs. Each subsystem asks
// for the least it needs (these, or an interface of its own); the main window implements them
// all over its Win32 controls, and the unit tests with recording fakes.
#include <cstdint>
#include <string_view>

namespace base {

// The read timer that drives the read cycle. An interval of 0 never ticks.
class IReadTimer {
  public:
    virtual ~IReadTimer() = default;
    virtual void SetTimerEnabled(bool enabled) = 0;
    [[nodiscard]] virtual bool TimerEnabled() const = 0;
    virtual void SetTimerInterval(int32_t ms) = 0;
};

// The two lines that show the reading: the weight box and the status line.
class IReadingDisplay {
  public:
    virtual ~IReadingDisplay() = default;
    virtual void SetWeightBox(std::string_view text) = 0;
    virtual void SetStatus(std::string_view text) = 0;
};

}  // namespace base

#pragma once
// When the read cycle runs. Not on a clock: when the scale has sent something, so that a scale
// with nothing to say costs nothing. The read interval (SampleRate) still bounds how often the
// display can change: a report that comes sooner than one interval after the last change is read
// when the interval is up, with whatever came after it, and the newest wins. A scale that repeats
// its report is read as it sends, and a change after the interval shows at once.
#include <cstdint>
#include <functional>

#include "base/model/Views.h"

namespace weighing {

// The window side: a wake for the scale's next report, a one-shot timer, a clock.
class IReadWake {
  public:
    virtual ~IReadWake() = default;
    // One ReadPacer::ReportIn when the scale's next report (or the answer to a request for its
    // current one) is in, or after a quiet spell without either.
    virtual void ArmReportWake() = 0;
    virtual void DisarmReportWake() = 0;
    // One ReadPacer::Due after `ms`, in place of one still pending.
    virtual void StartDue(uint32_t ms) = 0;
    virtual void StopDue() = 0;
    [[nodiscard]] virtual uint64_t NowMs() const = 0;
};

// The read timer as the rest of the program sees it: enabled while a scale is being read, with
// SampleRate as its interval (0: enabled, but never reads).
class ReadPacer final : public base::IReadTimer {
  public:
    // `cycle` says whether what it read may have changed the display.
    ReadPacer(IReadWake& wake, uint32_t interval, std::function<bool()> cycle)
        : _wake(wake), _interval(interval), _cycle(std::move(cycle)) {}
    ReadPacer(const ReadPacer&) = delete;
    ReadPacer& operator=(const ReadPacer&) = delete;

    // Enabling (again) or a new interval gives the first cycle one interval later, as a timer
    // that is (re)started does.
    void SetTimerEnabled(bool enabled) override;
    [[nodiscard]] bool TimerEnabled() const override { return _enabled; }
    // Outside 0 to 65535 the interval is kept.
    void SetTimerInterval(int32_t ms) override;
    [[nodiscard]] uint32_t TimerInterval() const { return _interval; }

    void ReportIn();
    void Due();

  private:
    [[nodiscard]] bool Reading() const { return _enabled && _interval > 0; }
    void Restart();
    void Run();

    IReadWake& _wake;
    uint32_t _interval;
    std::function<bool()> _cycle;
    bool _enabled = false;
    bool _duePending = false;
    bool _armed = false;
    bool _changedBefore = false;
    uint64_t _lastChangeMs = 0;
};

}  // namespace weighing

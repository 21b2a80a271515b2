#include "weighing/ReadPacer.h"

#include "base/UniqueResource.h"

namespace weighing {

void ReadPacer::SetTimerEnabled(bool enabled) {
    _enabled = enabled;
    Restart();
}

void ReadPacer::SetTimerInterval(int32_t ms) {
    if (ms < 0 || ms > 65535) {
        return;
    }
    _interval = static_cast<uint32_t>(ms);
    if (_enabled) {
        Restart();
    }
}

// A new selection may have asked the scale for its current report: the cycle after it arms the
// wake afresh, for the answer too.
void ReadPacer::Restart() {
    _duePending = Reading();
    _armed = false;
    if (_duePending) {
        _wake.StartDue(_interval);
    } else {
        _wake.StopDue();
        _wake.DisarmReportWake();
    }
}

void ReadPacer::ReportIn() {
    _armed = false;  // a wake comes once
    if (!Reading() || _duePending) {
        return;  // not reading, or the cycle already waiting for its turn takes this report too
    }
    const uint64_t since = _wake.NowMs() - _lastChangeMs;
    if (!_changedBefore || since >= _interval) {
        Run();
        return;
    }
    _duePending = true;
    _wake.StartDue(static_cast<uint32_t>(_interval - since));
}

void ReadPacer::Due() {
    _wake.StopDue();
    _duePending = false;
    if (Reading()) {
        Run();
    }
}

// The cycle can change what is read (a failed read selects the scale again, which restarts the
// interval; a scale not found stops reading): the wake is armed for what it left, also when the
// cycle failed, or reading would stop for good.
void ReadPacer::Run() {
    const uint64_t now = _wake.NowMs();
    const base::ScopeExit rearm{[this] {
        if (Reading() && !_duePending && !_armed) {
            _armed = true;
            _wake.ArmReportWake();
        }
    }};
    if (_cycle()) {
        _changedBefore = true;
        _lastChangeMs = now;
    }
}

}  // namespace weighing

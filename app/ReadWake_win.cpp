#include "app/ReadWake_win.h"

namespace app {

namespace {
constexpr size_t kRead = 0;
constexpr size_t kAnswer = 1;
}  // namespace

void ReadWakeWin::Attach(HWND window, UINT reportInMessage, UINT_PTR dueTimerId) {
    _window = window;
    _dueTimerId = dueTimerId;
    _wake.emplace(window, std::vector<base::win::EventWake::Wait>{{reportInMessage, /* tag */ 0, _heardAt},
                                                                  {reportInMessage, /* tag */ 1, {}}});
}

// Each wait armed costs the waiting thread a wake: the answer's only while one is awaited.
void ReadWakeWin::ArmReportWake() {
    if (_wake) {
        (void)_wake->Arm(kRead, _readEvent(), _quietMs);
        if (_answerAwaited()) {
            (void)_wake->Arm(kAnswer, _answerEvent);
        } else {
            _wake->Disarm(kAnswer);
        }
    }
}

void ReadWakeWin::DisarmReportWake() {
    if (_wake) {
        _wake->Disarm(kRead);
        _wake->Disarm(kAnswer);
    }
}

void ReadWakeWin::StartDue(uint32_t ms) {
    if (_window != nullptr) {
        (void)::SetTimer(_window, _dueTimerId, ms, nullptr);
    }
}

void ReadWakeWin::StopDue() {
    if (_window != nullptr) {
        (void)::KillTimer(_window, _dueTimerId);
    }
}

}  // namespace app

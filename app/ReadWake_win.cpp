#include "app/ReadWake_win.h"

namespace app {

void ReadWakeWin::Attach(HWND window, UINT reportInMessage, UINT_PTR dueTimerId) {
    _window = window;
    _dueTimerId = dueTimerId;
    _onRead.emplace(window, reportInMessage, /* tag */ 0, _skipRepeat);
    _onAnswer.emplace(window, reportInMessage, /* tag */ 1);
}

// Each wait armed costs the waiting thread a wake: the answer's only while one is awaited.
void ReadWakeWin::ArmReportWake() {
    if (_onRead && _onAnswer) {
        (void)_onRead->Arm(_readEvent(), _quietMs);
        if (_answerAwaited()) {
            (void)_onAnswer->Arm(_answerEvent);
        } else {
            _onAnswer->Disarm();
        }
    }
}

void ReadWakeWin::DisarmReportWake() {
    if (_onRead && _onAnswer) {
        _onRead->Disarm();
        _onAnswer->Disarm();
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

#pragma once
// The read pacing's window side for the main window: a waiting thread on the scale's news and
// answer events posts one message to the window, and the due timer is a window timer. A posted
// message and a timer are both dispatched by whatever loop runs (ours, a menu's, a dialog's or a
// message box's), so the weight goes on updating under all of them.
#include <windows.h>

#include <functional>
#include <optional>

#include "base/win/EventWake_win.h"
#include "weighing/ReadPacer.h"

namespace app {

class ReadWakeWin final : public weighing::IReadWake {
  public:
    // The events live as long as this object; a scale that stays silent for `quietMs` wakes the
    // window all the same (a silent scale is asked for its current report now and then). Silent
    // means nothing sent since `heardAt` (GetTickCount64, 0 for never), repeats included: those
    // are taken by the scale's reader and do not set the read event. The answer event is waited
    // on only while `answerAwaited` says a question is out. `readEvent` gives the event of the
    // scale being read when the wake is armed.
    ReadWakeWin(std::function<HANDLE()> readEvent,
                HANDLE answerEvent,
                DWORD quietMs,
                std::function<bool()> answerAwaited,
                std::function<uint64_t()> heardAt) noexcept
        : _readEvent(std::move(readEvent)),
          _answerEvent(answerEvent),
          _quietMs(quietMs),
          _answerAwaited(std::move(answerAwaited)),
          _heardAt(std::move(heardAt)) {}

    // Before this, nothing is armed or started.
    void Attach(HWND window, UINT reportInMessage, UINT_PTR dueTimerId);

    void ArmReportWake() override;
    void DisarmReportWake() override;
    void StartDue(uint32_t ms) override;
    void StopDue() override;
    [[nodiscard]] uint64_t NowMs() const override { return ::GetTickCount64(); }

  private:
    std::function<HANDLE()> _readEvent;
    HANDLE _answerEvent;
    DWORD _quietMs;
    std::function<bool()> _answerAwaited;
    std::function<uint64_t()> _heardAt;
    HWND _window = nullptr;
    UINT_PTR _dueTimerId = 0;
    std::optional<base::win::EventWake> _wake;  // wait 0: the read; wait 1: the answer
};

}  // namespace app

// The main window's wiring of the settled send: the stable-only hotkey and hands-free send. What
// to do when lives in weighing::SettledSend; here it hears the readings shown, runs a timer while
// something is due, and types through the hotkey's own sender.
#include "app/MainWindow_win.h"

#include <algorithm>
#include <chrono>

#include "app/resource.h"
#include "base/win/WinText_win.h"

namespace app {

namespace {

// A send that is due but blocked is looked at again this often.
constexpr int64_t kBlockedPollMs = 50;

int64_t SteadyNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

// Runs at the end of every reading shown, inside the read cycle: a send decided here is typed
// from a posted message once the cycle is over, so the cycle never waits for the typing.
void MainWindow::ReadingShown(const weighing::ShownReading& reading) {
    _lastShown = reading;
    CarryOut(_settled.ReadingShown(reading, SteadyNowMs(), HandsFreeBlocked()));
}

// Asked by the hotkey's sender once it has taken the freshest reports. Those reports may just
// have made a send due: it types this weight, and the press would type it a second time.
bool MainWindow::MayTypeOnHotkey() {
    if (_settledTyping) {
        return false;
    }
    const auto press = _settled.HotkeyPressed(_lastShown, SteadyNowMs());
    if (press == weighing::SettledSend::Press::Refused && _hotkeyHost) {
        _hotkeyHost->Beep();
    }
    RefreshStatusLine();
    ApplySettledTimer();
    return press == weighing::SettledSend::Press::TypeNow;
}

void MainWindow::CarryOut(weighing::SettledSend::Action action) {
    using Action = weighing::SettledSend::Action;
    if (action == Action::Refused && _hotkeyHost) {
        _hotkeyHost->Beep();
    } else if ((action == Action::TypeWaited || action == Action::HandsFree) && _sender && !_settledTyping) {
        // The script is taken now: the weight typed is the settled one, whatever comes next.
        _settledTyping = SettledTyping{_sender->Script(), action == Action::HandsFree, _lastShown.text,
                                       WebReadingOf(_lastShown.text)};
        (void)::PostMessageW(_hwnd, WM_APP_SETTLED_SEND, 0, 0);  // a lost post is retried by the timer
    }
    RefreshStatusLine();
    ApplySettledTimer();
}

void MainWindow::SettledSend_Due() {
    if (!_settledTyping || !_sender || _unloading) {
        return;
    }
    SettledTyping typing = std::move(*_settledTyping);
    _settledTyping.reset();
    const auto typed = _sender->TypeScript(typing.script);
    if (typed == keys::HotkeySender::Typing::Busy) {
        if (!_settledTyping) {
            _settledTyping = std::move(typing);  // another send is typing: the timer tries again
        }
        ApplySettledTimer();
        return;
    }
    if (typed == keys::HotkeySender::Typing::Typed && typing.handsFree) {
        _settled.HandsFreeSent(typing.text, SteadyNowMs());
        _web.PublishSent(typing.reading);
    }
    RefreshStatusLine();
    ApplySettledTimer();
}

void MainWindow::SettledTimer_Tick() {
    (void)::KillTimer(_hwnd, kSettledTimerId);
    if (_unloading) {
        return;
    }
    if (_settledTyping) {
        SettledSend_Due();
    }
    const bool scaleRead = TimerEnabled() && _state.HasWeight() && !_state.sendSuppressed;
    CarryOut(_settled.Tick(SteadyNowMs(), scaleRead, HandsFreeBlocked()));
}

// A scale that reports only on change sends nothing more once its weight is stable, so the end
// of the settle time (and of the wait for a stable weight) needs a timer of its own. It runs only
// while something is due.
void MainWindow::ApplySettledTimer() {
    if (_hwnd == nullptr) {
        return;
    }
    const int64_t now = SteadyNowMs();
    std::optional<int64_t> next = _settled.NextDeadline();
    if (_settledTyping) {
        next = std::min(next.value_or(now + kBlockedPollMs), now + kBlockedPollMs);
    }
    if (!next) {
        (void)::KillTimer(_hwnd, kSettledTimerId);
        return;
    }
    const int64_t delay = *next > now ? *next - now : kBlockedPollMs;
    (void)::SetTimer(_hwnd, kSettledTimerId, static_cast<UINT>(std::min<int64_t>(delay, 0x7FFFFFFF)), nullptr);
}

// Nothing is typed hands-free into Pesora itself, under its menus and dialogs, or into a send
// that is under way.
bool MainWindow::HandsFreeBlocked() const {
    if (_settledTyping || _state.aboutBoxOpen || _state.sendSuppressed || (_sender && _sender->Busy()) ||
        _cycleMessages.ModalLoopOpen(_hwnd)) {
        return true;
    }
    HWND front = ::GetForegroundWindow();
    DWORD pid = 0;
    (void)::GetWindowThreadProcessId(front, &pid);
    return front == nullptr || pid == ::GetCurrentProcessId();
}

void MainWindow::ApplyHandsFreeIndicators() {
    _trayIcon.SetTip(_state.settings.AutoSend ? "Pesora - hands-free send on" : std::string(kCaption));
    RefreshStatusLine();
}

std::string MainWindow::StatusLineText() const {
    return weighing::SettledStatusLine(_settled.Notice(SteadyNowMs()), _statusCaption, _state.settings.AutoSend,
                                       _webNotice);
}

// Runs with every reading: an unchanged line is not written again.
void MainWindow::RefreshStatusLine() {
    if (_statusLineText.Set(StatusLineText())) {
        (void)base::win::SetWindowTextUtf8(_statusLine, _statusLineText.Text());
    }
}

}  // namespace app

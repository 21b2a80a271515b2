#include "keys/KbdHook.h"

#include <utility>

namespace keys {

namespace {

// Every part of the script is assembled on its own: a part that fails is left out and the
// others are still typed, as the user would rather have the weight than nothing.
template <typename Fn>
void AppendPart(std::string& script, Fn&& part) noexcept {
    try {
        script += part();
    } catch (...) {
        // Deliberately swallowed: a send shows the user nothing.
    }
}

}  // namespace

std::optional<HotkeyRegistration> SendHotkeyRegistration(int32_t hotKey, bool hotkeyEnabled) {
    const auto vk = static_cast<uint32_t>(hotKey & 0xFF);
    if (!hotkeyEnabled || vk == 0) {
        return std::nullopt;
    }
    const int32_t mask = hotKey / 256;
    uint32_t modifiers = 0;
    modifiers += (mask & 1) ? 4 : 0;  // Shift
    modifiers += (mask & 2) ? 2 : 0;  // Ctrl
    modifiers += (mask & 4) ? 1 : 0;  // Alt
    return HotkeyRegistration{modifiers, vk};
}

std::string AssembleSendScript(const base::AppState& state, const TemplateExpander& expand) {
    std::string script;
    const base::Settings& settings = state.settings;
    if (!settings.Preamble.empty()) {
        AppendPart(script, [&] { return expand(settings.Preamble); });
    }
    AppendPart(script, [&] { return state.weightText; });
    if (settings.IncludeUnits) {
        AppendPart(script, [&] { return state.unitsSuffix; });
    }
    AppendPart(script, [&] { return expand(settings.Postamble); });
    return script;
}

HotkeySender::HotkeySender(base::AppState& state,
                           const base::IReadTimer& readTimer,
                           IHotkeyHost& host,
                           TemplateExpander expand)
    : _state(state), _timer(readTimer), _host(host), _expand(std::move(expand)) {}

bool HotkeySender::HotkeyHeld() const {
    return IsShiftDown(_host, 3) || IsCtrlDown(_host, 3) || IsAltDown(_host, 3) ||
           IsKeyDown(_host, _state.settings.HotKey);
}

// Runs on the window thread, possibly nested inside its own waits: a hotkey message that
// arrives while this call waits for the release starts a nested call, which sends first.
void HotkeySender::KbdHook(int32_t /*hotkeyId*/) {
    // The player's own events reach the system like real presses, so a script that holds the
    // hotkey's combination raises the hotkey itself; a send for that would repeat forever.
    if (_injecting) {
        return;
    }
    if (_state.sendSuppressed || _state.aboutBoxOpen) {
        return;
    }
    if (!_timer.TimerEnabled()) {
        _host.Beep();  // no scale is being read
        return;
    }
    // A hotkey held down raises a message at every key repeat, about thirty a second. One
    // that arrives while a send waits for the release, with the hotkey's key not let go since
    // the press that send answers, is such a repeat: one press, one send. A key released and
    // pressed again (Ctrl held on, F9 pressed twice) is a new press and sends again.
    if (_waiting > 0 && !_releasedSincePress) {
        return;
    }
    if (_waiting >= kMaxWaitingSends) {
        return;
    }
    if (_beforeAssemble) {
        try {
            _beforeAssemble();
        } catch (...) {
            // Deliberately swallowed: the weight of the last tick is typed instead.
        }
    }
    // That read may have found the scale gone; a scale just chosen has no weight until it reports.
    if (!_timer.TimerEnabled() || _state.awaitingReport) {
        _host.Beep();  // there is no weight to type
        return;
    }
    if (_mayType && !_mayType()) {
        return;
    }
    (void)TypeScript(AssembleSendScript(_state, _expand));
}

HotkeySender::Typing HotkeySender::TypeScript(const std::string& script) {
    if (_injecting) {
        return Typing::Busy;
    }
    _releasedSincePress = false;
    ++_waiting;
    try {
        // The user's fingers are still on the hotkey: typing now would combine its modifiers
        // with the keys we inject.
        while (HotkeyHeld()) {
            if (!IsKeyDown(_host, _state.settings.HotKey)) {
                _releasedSincePress = true;
            }
            _host.WaitForMessages(kReleasePollMs);
        }
    } catch (...) {
        // Deliberately swallowed: the send goes on once the wait is abandoned.
    }
    _releasedSincePress = true;
    --_waiting;

    // Typing into our own window would only change its controls.
    if (_host.IsOwnWindowForeground()) {
        return Typing::OwnWindow;
    }
    _injecting = true;
    try {
        (void)_host.SendKeyScript(script, _state.settings.InterCharacterDelay);  // parse failures type nothing
        // Without a pause between events the player never looks at the message queue, so
        // hotkey messages its events raised are still waiting: drop them now, not after.
        _host.DoEvents();
    } catch (...) {
        // Deliberately swallowed: a send shows the user nothing.
    }
    _injecting = false;
    return Typing::Typed;
}

}  // namespace keys

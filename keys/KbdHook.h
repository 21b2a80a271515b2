#pragma once
// The send on a hotkey press: decides whether a send may happen, assembles the script from the
// preamble, the weight and the postamble, waits until the user has let go of the hotkey and
// hands the script to the player.
//
// Wiring in the main window (MainWindow):
//   HotkeySender sender(state, view, host, expand);   // lives as long as the window
//   MainWindow::KbdHook(id)  ->  sender.KbdHook(id);        // called for every WM_HOTKEY (0x312)
// where `host` is keys::HotkeyHostWin (HotKeys_win.h) and `expand` the date and time token
// expansion of the templates:
//   [](std::string_view t) { return weighing::ExpandDateTimeTokens(t, weighing::LocalDateTime); }
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/model/AppState.h"
#include "base/model/Views.h"
#include "keys/GetKeyStates.h"

namespace keys {

// What the send needs of the system besides the main window's state.
class IHotkeyHost : public IKeyStateSource {
  public:
    // The system's default beep.
    virtual void Beep() = 0;
    // Whether the foreground window is the program's own main window.
    [[nodiscard]] virtual bool IsOwnWindowForeground() const = 0;
    // Dispatches the thread's pending window messages, then sleeps until another message
    // arrives or `timeoutMs` has passed.
    virtual void WaitForMessages(int32_t timeoutMs) = 0;
    // One pass over the thread's pending window messages; returns at once.
    virtual void DoEvents() = 0;
    // Plays a script into the foreground application (SendKeyScript); returns its result.
    virtual int16_t SendKeyScript(std::string_view script, int32_t interCharacterDelayMs) = 0;
};

// What RegisterHotKey is given for the HotKey setting: the key code and the modifier flags
// (mask bit 1 Shift -> 4, 2 Ctrl -> 2, 4 Alt -> 1). The registration adds the no-repeat flag
// where the system takes it.
// std::nullopt when nothing is to be registered: disabled, or no key code in the low byte.
struct HotkeyRegistration {
    uint32_t modifiers;
    uint32_t vk;
};
std::optional<HotkeyRegistration> SendHotkeyRegistration(int32_t hotKey, bool hotkeyEnabled);

// Expands the date and time tokens of a preamble or postamble.
using TemplateExpander = std::function<std::string(std::string_view)>;

// The script typed for one press: expanded preamble (when not empty), the weight text, the
// unit suffix when IncludeUnits is set, expanded postamble.
std::string AssembleSendScript(const base::AppState& state, const TemplateExpander& expand);

class HotkeySender {
  public:
    HotkeySender(base::AppState& state, const base::IReadTimer& readTimer, IHotkeyHost& host, TemplateExpander expand);
    HotkeySender(const HotkeySender&) = delete;
    HotkeySender& operator=(const HotkeySender&) = delete;

    // One send for one hotkey press. A new press during the wait for the keys' release runs
    // nested; a key repeat of the held hotkey then, and any message while the player is
    // injecting, is dropped.
    void KbdHook(int32_t hotkeyId);

    [[nodiscard]] bool Injecting() const { return _injecting; }
    // A send waits for the hotkey's release or is typing.
    [[nodiscard]] bool Busy() const { return _injecting || _waiting > 0; }

    // A step asked once the weight to type is known, just before the script is assembled: false
    // keeps the press from typing now (the main window may wait for a settled weight instead).
    void SetMayType(std::function<bool()> step) { _mayType = std::move(step); }
    // The script a press would type now.
    [[nodiscard]] std::string Script() const { return AssembleSendScript(_state, _expand); }
    // Types `script` as a press does once it is assembled: after the hotkey's release, never into
    // our own window.
    enum class Typing { Busy, OwnWindow, Typed };  // Busy: another send is typing, try again
    Typing TypeScript(const std::string& script);

    // A step run before each send is assembled, once the send is allowed: the main window takes
    // the reports the scale has already sent there, so the weight typed is the freshest one.
    void SetBeforeAssemble(std::function<void()> step) { _beforeAssemble = std::move(step); }

    // Poll interval of the wait for the hotkey's release.
    static constexpr int32_t kReleasePollMs = 10;
    // Presses waiting for the release beyond this many are dropped: each one waits nested
    // on the stack.
    static constexpr int kMaxWaitingSends = 32;

  private:
    bool HotkeyHeld() const;

    base::AppState& _state;
    const base::IReadTimer& _timer;
    IHotkeyHost& _host;
    TemplateExpander _expand;
    std::function<void()> _beforeAssemble;
    std::function<bool()> _mayType;
    bool _injecting = false;
    int _waiting = 0;
    bool _releasedSincePress = true;  // the hotkey's key was seen up since the last press
};

}  // namespace keys

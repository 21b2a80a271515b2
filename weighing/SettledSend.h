#pragma once
// Sending only a settled weight. Two behaviours share what a reading tells:
//  - the stable-only hotkey (StableOnly): a press on a moving weight waits up to StableWaitMs for
//    the first stable report and types that one; overload, a scale that needs zeroing, a scale
//    that is gone or a weight that never settles types nothing and says why;
//  - hands-free send (AutoSend): each placement is typed once, when its weight has been stable
//    for SettleMs above AutoSendMin; the next one only after the platform came back down to it.
// The order of decisions only: the window gives it the readings it shows, hotkey presses and the
// ticks of a timer it runs while NextDeadline() has a time, and carries out what it answers.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/model/Settings.h"

namespace weighing {

// One reading as the window showed it.
struct ShownReading {
    bool hasWeight = false;  // a scale is read and has reported since it was chosen
    uint8_t status = 0;      // the report's status byte
    double value = 0.0;      // in the display unit, signed
    std::string text;        // the Weight box
};

// Status 2 (at zero), 4 (stable) and 5 (under zero) are settled readings.
[[nodiscard]] bool Settled(uint8_t status);

// The status line: a notice of the settled send wins, then the scale's own words, then what is
// on (hands-free send, the web endpoint).
[[nodiscard]] std::string SettledStatusLine(std::string_view notice,
                                            std::string_view scaleCaption,
                                            bool handsFree,
                                            std::string_view webNotice);

inline constexpr std::string_view kWaitingText = "Waiting for a stable weight...";
inline constexpr std::string_view kHandsFreeText = "Hands-free send on";
// How long a notice (why nothing was typed, what was sent) stays in the status line.
inline constexpr int64_t kNoticeMs = 3000;

class SettledSend {
  public:
    explicit SettledSend(const base::Settings& settings) : _settings(settings) {}

    enum class Press {
        TypeNow,         // type the weight shown, as the hotkey always did
        Waiting,         // wait for a stable report
        Refused,         // beep: nothing is typed, Notice() says why
        AlreadyWaiting,  // a press while waiting: the one send to come covers it
    };
    // A hotkey press, once the send may happen at all; `reading` is the freshest one shown.
    Press HotkeyPressed(const ShownReading& reading, int64_t nowMs);

    enum class Action {
        None,
        TypeWaited,  // the press that waited gets the weight shown now
        Refused,     // beep: the press that waited types nothing, Notice() says why
        HandsFree,   // type the weight shown now for the placement
    };
    // `blocked`: a hands-free send may not happen now (a menu or dialog of ours is open, a send is
    // under way, our own window has the focus); the placement stays pending.
    Action ReadingShown(const ShownReading& reading, int64_t nowMs, bool blocked);
    // The timer's tick. `scaleRead`: a scale is still read (a removed one is not).
    Action Tick(int64_t nowMs, bool scaleRead, bool blocked);
    // The hands-free send was typed (the window did it once the action came back).
    void HandsFreeSent(std::string_view text, int64_t nowMs);

    // When Tick has something to do next; nothing when the timer may stop. A time in the past
    // means a pending send waits for `blocked` to clear: the window polls.
    [[nodiscard]] std::optional<int64_t> NextDeadline() const;
    // What the status line says for the settled send now; empty when nothing.
    [[nodiscard]] std::string Notice(int64_t nowMs) const;
    [[nodiscard]] bool WaitingForStable() const { return _waitUntil.has_value(); }

  private:
    Action Refuse(std::string_view why, int64_t nowMs);
    Action SettleDue(int64_t nowMs, bool blocked);
    void Notify(std::string text, int64_t nowMs);

    const base::Settings& _settings;
    std::optional<int64_t> _waitUntil;    // a press waits for a stable report until then
    bool _armed = true;                   // the platform was empty since the last send
    std::optional<int64_t> _stableSince;  // the current reading is stable above the minimum since
    double _stableValue = 0.0;
    std::string _notice;
    int64_t _noticeUntil = 0;
};

}  // namespace weighing

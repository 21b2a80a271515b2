#pragma once
// The key event player: parses a script into a KeyQueue and injects its presses and releases,
// with the configured pause after each event. The system is reached through IKeyInjector, so
// the order and timing of the events are tested with a recording fake.
#include <array>
#include <cstdint>
#include <string_view>

#include "keys/KeyScript.h"

namespace keys {

// Flags of one injected event, as SendInput takes them.
inline constexpr uint32_t kKeyEventExtended = 0x1;
inline constexpr uint32_t kKeyEventKeyUp = 0x2;
inline constexpr uint32_t kKeyEventUnicode = 0x4;  // `scan` is a UTF-16 code unit, `vk` is 0
inline constexpr uint8_t kVkCapital = 20;

struct KeyEvent {
    uint16_t vk;
    uint16_t scan;
    uint32_t flags;
};

using KeyboardState = std::array<uint8_t, 256>;

class IKeyInjector {
  public:
    virtual ~IKeyInjector() = default;
    // Injects one key event into the system's input stream (SendInput).
    virtual void Inject(const KeyEvent& event) = 0;
    // The layout's scan code of a key code (MapVirtualKeyEx, map type 0).
    virtual uint32_t MapVirtualKey(uint32_t vk) = 0;
    // The calling thread's key state table.
    virtual KeyboardState GetKeyboardState() = 0;
    virtual void SetKeyboardState(const KeyboardState& state) = 0;
    // A monotonic clock in microseconds.
    virtual int64_t NowMicroseconds() = 0;
    // Dispatches the thread's pending window messages until NowMicroseconds() reaches
    // `deadline`, sleeping while none arrive. Returns at once when the deadline has passed.
    virtual void WaitUntil(int64_t deadline) = 0;
};

// The state of the queue reader between calls of NextKeyEvent.
struct KeyReader {
    explicit KeyReader(KeyQueue& q) : queue(q) {}
    KeyQueue& queue;
    int32_t lastKey = 0;
    bool releasePending = false;
    bool shiftDown = false;
    bool ctrlDown = false;
    bool altDown = false;
};

// With key == -1: resets the reader and returns true without an event. Otherwise hands out the
// next event (key code, down true for a press) and returns true, or false when the queue is
// exhausted. Ordinary keys are released before the next entry is read; 16, 17 and 18 toggle.
bool NextKeyEvent(KeyReader& reader, int32_t& key, bool& down);

// The pause after an Alt release, so that the target has handled the menu activation the
// Alt press may have caused before the next keys arrive.
inline constexpr int64_t kAltPauseMicroseconds = 2'000'000;

// Parses and plays `script`. Returns 0 once played, or the parse result, in which case nothing
// at all was done. `interCharacterDelayMs` follows every event (0 or less: no pause). Caps Lock
// is switched off for the send and the thread's key state is cleared, both restored afterwards.
int16_t SendKeyScript(std::string_view script,
                      const CharMapping& mapping,
                      IKeyInjector& injector,
                      int32_t interCharacterDelayMs);

// Ends the send being played, if any, at once: releases every key it pressed and has not
// released, and turns Caps Lock back on if the send turned it off. For whatever ends the
// program from inside a send's pause (File > Exit, the end of the log-on); the player types
// nothing more of that send.
void EndActiveSend();

}  // namespace keys

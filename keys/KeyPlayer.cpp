#include "keys/KeyPlayer.h"

#include <memory>

namespace keys {

bool NextKeyEvent(KeyReader& reader, int16_t& key, bool& down) {
    if (key == -1) {
        reader.lastKey = 0;
        reader.releasePending = false;
        reader.shiftDown = reader.ctrlDown = reader.altDown = false;
        reader.queue.readPosition = 0;
        return true;
    }
    const bool lastIsModifier = reader.lastKey == kVkShift || reader.lastKey == kVkControl || reader.lastKey == kVkMenu;
    if (reader.lastKey != 0 && !lastIsModifier && reader.releasePending) {
        key = reader.lastKey;
        down = false;
        reader.lastKey = 0;
        return true;
    }
    if (reader.queue.readPosition >= reader.queue.count) {
        return false;
    }
    const int16_t entry = reader.queue.entries[static_cast<size_t>(reader.queue.readPosition++)];
    reader.lastKey = entry;
    key = entry;
    switch (entry) {
        case kVkShift:
            down = reader.shiftDown = !reader.shiftDown;
            break;
        case kVkControl:
            down = reader.ctrlDown = !reader.ctrlDown;
            break;
        case kVkMenu:
            down = reader.altDown = !reader.altDown;
            break;
        default:
            down = true;
            reader.releasePending = true;
            break;
    }
    return true;
}

namespace {

// Caps Lock is toggled with the event pair the program has always used (scan code 69, the
// extended flag); the key code decides what the system does with it.
void ToggleCapsLock(IKeyInjector& injector) {
    injector.Inject(kVkCapital, 69, kKeyEventExtended);
    injector.Inject(kVkCapital, 69, kKeyEventExtended | kKeyEventKeyUp);
}

}  // namespace

int16_t SendKeyScript(std::string_view script,
                      const CharMapping& mapping,
                      IKeyInjector& injector,
                      int32_t interCharacterDelayMs) {
    // 8 KB: kept off the stack, which the message handlers run nested inside the waits share.
    auto queue = std::make_unique<KeyQueue>();
    const int16_t parsed = ParseKeys(script, mapping, *queue);
    if (parsed != kParseOk) {
        return parsed;
    }
    KeyReader reader(*queue);
    int16_t key = -1;
    bool down = false;
    (void)NextKeyEvent(reader, key, down);

    // The target sees the thread's state (and typed letters their case) only from the events
    // we inject: start from nothing held and no Caps Lock, and give both back afterwards.
    const KeyboardState saved = injector.GetKeyboardState();
    injector.SetKeyboardState(KeyboardState{});
    const bool capsWasOn = saved[kVkCapital] != 0;
    if (capsWasOn) {
        ToggleCapsLock(injector);
    }

    key = 0;
    while (NextKeyEvent(reader, key, down)) {
        const auto vk = static_cast<uint8_t>(key);
        const auto scan = static_cast<uint8_t>(injector.MapVirtualKey(vk));
        // Never the extended flag, whatever the key: the program has always sent them so.
        injector.Inject(vk, scan, down ? 0 : kKeyEventKeyUp);
        if (!down && key == kVkMenu) {
            // Measured on the monotonic clock: a wall-clock deadline would stretch the pause by
            // an hour when daylight saving time ends, or whenever the clock is set back.
            injector.WaitUntil(injector.NowMicroseconds() + kAltPauseMicroseconds);
        }
        if (interCharacterDelayMs > 0) {
            injector.WaitUntil(injector.NowMicroseconds() + int64_t{interCharacterDelayMs} * 1000);
        }
    }

    injector.SetKeyboardState(saved);
    if (capsWasOn) {
        ToggleCapsLock(injector);
    }
    return kParseOk;
}

}  // namespace keys

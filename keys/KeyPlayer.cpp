#include "keys/KeyPlayer.h"

#include <array>
#include <memory>

#include "keys/KeyLayout.h"

namespace keys {

bool NextKeyEvent(KeyReader& reader, int32_t& key, bool& down) {
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
    const int32_t entry = reader.queue.entries[static_cast<size_t>(reader.queue.readPosition++)];
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

// Caps Lock with its own scan code and no extended flag: 0x45 extended, which the program once
// sent, is Num Lock's, and programs that read scan codes toggled Num Lock instead.
void ToggleCapsLock(IKeyInjector& injector) {
    const FixedScanCode caps = *FixedScanCodeOf(kVkCapital);
    injector.Inject({kVkCapital, caps.scan, 0});
    injector.Inject({kVkCapital, caps.scan, kKeyEventKeyUp});
}

// A key's own events: the layout's scan code, or the fixed one with its extended flag.
void InjectKey(IKeyInjector& injector, uint8_t vk, uint32_t up) {
    const std::optional<FixedScanCode> fixed = FixedScanCodeOf(vk);
    if (fixed) {
        injector.Inject({vk, fixed->scan, up | (fixed->extended ? kKeyEventExtended : 0)});
    } else {
        injector.Inject({vk, static_cast<uint16_t>(injector.MapVirtualKey(vk) & 0xFF), up});
    }
}

// The send being played, so that whatever ends it early gives back what it took: every key it
// pressed and has not released yet, and Caps Lock. One send plays at a time on the one window
// thread (a hotkey message during a send is dropped), so one slot is enough.
struct ActiveSend {
    IKeyInjector& injector;
    std::array<bool, 256> down{};
    bool capsToRestore = false;
    bool ended = false;
};
ActiveSend* g_activeSend = nullptr;

void GiveBack(ActiveSend& send) {
    if (send.ended) {
        return;
    }
    send.ended = true;
    for (size_t vk = 0; vk < send.down.size(); ++vk) {
        if (send.down[vk]) {
            send.down[vk] = false;
            InjectKey(send.injector, static_cast<uint8_t>(vk), kKeyEventKeyUp);
        }
    }
    if (send.capsToRestore) {
        send.capsToRestore = false;
        ToggleCapsLock(send.injector);
    }
}

// Ends the send however the player is left: returning, an exception from a message handler
// run in a pause, or EndActiveSend called from such a handler.
class ActiveSendScope {
  public:
    explicit ActiveSendScope(ActiveSend& send) : _send(send), _outer(g_activeSend) { g_activeSend = &send; }
    ~ActiveSendScope() {
        GiveBack(_send);
        g_activeSend = _outer;
    }
    ActiveSendScope(const ActiveSendScope&) = delete;
    ActiveSendScope& operator=(const ActiveSendScope&) = delete;

  private:
    ActiveSend& _send;
    ActiveSend* _outer;
};

// Sends the events of one queue event, followed by the configured pause.
class EventSender {
  public:
    EventSender(ActiveSend& send, int32_t interCharacterDelayMs)
        : _send(send), _injector(send.injector), _delayMs(interCharacterDelayMs) {}

    void Send(const KeyReader& reader, int32_t entry, bool down) {
        const uint32_t up = down ? 0 : kKeyEventKeyUp;
        if (IsUnicodeEntry(entry)) {
            char16_t units[2];
            const size_t count = ToUtf16(static_cast<char32_t>(entry & ~kUnicodeEntry), units);
            for (size_t i = 0; i < count; ++i) {
                _injector.Inject({0, units[i], kKeyEventUnicode | up});
            }
            Pause();
            return;
        }
        const auto vk = static_cast<uint8_t>(entry & 0xFF);
        // A key that needs AltGr: Ctrl and Alt held around it alone, unless the script already
        // holds them. The Alt released here follows another key, so it opens no menu and needs
        // no pause.
        const bool ctrl = (entry & kCtrlFlag) != 0 && !reader.ctrlDown;
        const bool alt = (entry & kAltFlag) != 0 && !reader.altDown;
        if (down) {
            if (ctrl) {
                SendKey(kVkControl, 0);
            }
            if (alt) {
                SendKey(kVkMenu, 0);
            }
        }
        SendKey(vk, up);
        if (!down) {
            if (alt) {
                SendKey(kVkMenu, kKeyEventKeyUp);
            }
            if (ctrl) {
                SendKey(kVkControl, kKeyEventKeyUp);
            }
        }
        if (!down && entry == kVkMenu) {
            // Measured on the monotonic clock: a wall-clock deadline would stretch the pause by
            // an hour when daylight saving time ends, or whenever the clock is set back.
            _injector.WaitUntil(_injector.NowMicroseconds() + kAltPauseMicroseconds);
        }
        Pause();
    }

  private:
    // Every key pressed is recorded, so that a send cut short can release it.
    void SendKey(uint8_t vk, uint32_t up) {
        InjectKey(_injector, vk, up);
        _send.down[vk] = up == 0;
    }
    void Pause() {
        if (_delayMs > 0) {
            _injector.WaitUntil(_injector.NowMicroseconds() + int64_t{_delayMs} * 1000);
        }
    }

    ActiveSend& _send;
    IKeyInjector& _injector;
    int32_t _delayMs;
};

}  // namespace

void EndActiveSend() {
    if (g_activeSend != nullptr) {
        GiveBack(*g_activeSend);
    }
}

int16_t SendKeyScript(std::string_view script,
                      const CharMapping& mapping,
                      IKeyInjector& injector,
                      int32_t interCharacterDelayMs) {
    // 16 KB: kept off the stack, which the message handlers run nested inside the waits share.
    auto queue = std::make_unique<KeyQueue>();
    const int16_t parsed = ParseKeys(script, mapping, *queue);
    if (parsed != kParseOk) {
        return parsed;
    }
    KeyReader reader(*queue);
    int32_t key = -1;
    bool down = false;
    (void)NextKeyEvent(reader, key, down);

    // The target sees the thread's state (and typed letters their case) only from the events
    // we inject: start from nothing held and no Caps Lock, and give both back afterwards.
    const KeyboardState saved = injector.GetKeyboardState();
    injector.SetKeyboardState(KeyboardState{});
    const bool capsWasOn = saved[kVkCapital] != 0;
    ActiveSend send{injector};
    if (capsWasOn) {
        ToggleCapsLock(injector);
        send.capsToRestore = true;
    }
    ActiveSendScope scope(send);

    EventSender sender(send, interCharacterDelayMs);
    key = 0;
    while (!send.ended && NextKeyEvent(reader, key, down)) {
        sender.Send(reader, key, down);
    }

    injector.SetKeyboardState(saved);
    if (send.ended) {
        return kParseOk;  // ended early: keys and Caps Lock were given back then
    }
    send.ended = true;  // a key the script itself left down stays down, as it always has
    if (send.capsToRestore) {
        send.capsToRestore = false;
        ToggleCapsLock(injector);
    }
    return kParseOk;
}

}  // namespace keys

#pragma once
// The player's way into the system: keybd_event, the layout's scan codes and character
// mapping, the thread's key state, and waits that keep the window thread's messages flowing.
#include <windows.h>

#include <cstdint>
#include <optional>

#include "keys/KeyPlayer.h"

namespace keys {

// VkKeyScanA on the thread's keyboard layout; std::nullopt for the first byte of a
// double-byte character, which has no key of its own.
std::optional<int16_t> AnsiCharMapping(unsigned char c);

// QueryPerformanceCounter in microseconds.
int64_t QpcMicroseconds();

// Dispatches the thread's pending window messages; returns at once.
void DispatchPendingMessages();

// Dispatches messages as they arrive until QpcMicroseconds() reaches `deadline`, sleeping in
// between (MsgWaitForMultipleObjectsEx), never spinning.
void PumpMessagesUntil(int64_t deadline);

// Raises the system timer resolution to 1 ms while it lives, so that the short waits of a send
// end on time instead of on the next 15.6 ms tick.
class KeyInjectorWin final : public IKeyInjector {
  public:
    KeyInjectorWin();
    ~KeyInjectorWin() override;
    KeyInjectorWin(const KeyInjectorWin&) = delete;
    KeyInjectorWin& operator=(const KeyInjectorWin&) = delete;

    void Inject(uint8_t vk, uint8_t scan, uint32_t flags) override;
    uint32_t MapVirtualKey(uint32_t vk) override;
    KeyboardState GetKeyboardState() override;
    void SetKeyboardState(const KeyboardState& state) override;
    int64_t NowMicroseconds() override;
    void WaitUntil(int64_t deadline) override;

  private:
    bool _periodSet = false;
};

}  // namespace keys

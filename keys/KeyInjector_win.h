#pragma once
// The player's way into the system: SendInput, the layout's scan codes, the thread's key
// state, and waits that keep the window thread's messages flowing.
#include <windows.h>

#include <cstdint>
#include <optional>

#include "keys/KeyPlayer.h"

namespace keys {

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
    // `layout`: the keyboard layout whose scan codes are sent (the receiving window's).
    explicit KeyInjectorWin(HKL layout);
    ~KeyInjectorWin() override;
    KeyInjectorWin(const KeyInjectorWin&) = delete;
    KeyInjectorWin& operator=(const KeyInjectorWin&) = delete;

    void Inject(const KeyEvent& event) override;
    uint32_t MapVirtualKey(uint32_t vk) override;
    KeyboardState GetKeyboardState() override;
    void SetKeyboardState(const KeyboardState& state) override;
    int64_t NowMicroseconds() override;
    void WaitUntil(int64_t deadline) override;

  private:
    HKL _layout;
    bool _periodSet = false;
};

}  // namespace keys

#include "keys/KeyInjector_win.h"

#include <mmsystem.h>

#include "base/win/MessagePump_win.h"

namespace keys {

std::optional<int16_t> AnsiCharMapping(unsigned char c) {
    if (::IsDBCSLeadByte(c)) {
        return std::nullopt;
    }
    return static_cast<int16_t>(::VkKeyScanA(static_cast<CHAR>(c)));
}

int64_t QpcMicroseconds() {
    // Both calls always succeed on XP and later.
    LARGE_INTEGER frequency{};
    LARGE_INTEGER counter{};
    (void)::QueryPerformanceFrequency(&frequency);
    (void)::QueryPerformanceCounter(&counter);
    const int64_t perSecond = frequency.QuadPart;
    return counter.QuadPart / perSecond * 1'000'000 + counter.QuadPart % perSecond * 1'000'000 / perSecond;
}


void DispatchPendingMessages() {
    (void)base::win::DispatchPendingMessages();
}

// A message that arrives during the sleep ends it early, so once the deadline has passed
// there is nothing left to dispatch: the check comes first, sparing a round through the queue
// per pause.
void PumpMessagesUntil(int64_t deadline) {
    bool dispatching = true;
    while (deadline - QpcMicroseconds() > 0) {
        if (dispatching) {
            dispatching = base::win::DispatchPendingMessages();
        }
        const int64_t remaining = deadline - QpcMicroseconds();
        if (remaining <= 0) {
            return;
        }
        // The timeout is in whole milliseconds. Rounded up, a wake-up a few microseconds early
        // (timers here are not exact) would cost another full millisecond; so it is rounded to
        // the nearest with a bias upwards, and only the last fraction of a millisecond, when
        // one is left, gives up the processor's time slice instead of sleeping.
        const auto timeoutMs = static_cast<DWORD>((remaining + 200) / 1000);
        if (timeoutMs == 0) {
            (void)::SwitchToThread();
        } else if (dispatching) {
            (void)::MsgWaitForMultipleObjectsEx(0, nullptr, timeoutMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        } else {
            ::Sleep(timeoutMs);
        }
    }
}

KeyInjectorWin::KeyInjectorWin() : _periodSet(::timeBeginPeriod(1) == TIMERR_NOERROR) {}

KeyInjectorWin::~KeyInjectorWin() {
    if (_periodSet) {
        (void)::timeEndPeriod(1);
    }
}

void KeyInjectorWin::Inject(uint8_t vk, uint8_t scan, uint32_t flags) {
    ::keybd_event(vk, scan, flags, 0);
}

uint32_t KeyInjectorWin::MapVirtualKey(uint32_t vk) {
    return ::MapVirtualKeyA(vk, 0 /* MAPVK_VK_TO_VSC */);
}

KeyboardState KeyInjectorWin::GetKeyboardState() {
    KeyboardState state{};
    (void)::GetKeyboardState(state.data());  // on failure the send starts from a cleared state
    return state;
}

void KeyInjectorWin::SetKeyboardState(const KeyboardState& state) {
    KeyboardState copy = state;  // the API takes a non-const pointer
    (void)::SetKeyboardState(copy.data());
}

int64_t KeyInjectorWin::NowMicroseconds() {
    return QpcMicroseconds();
}

void KeyInjectorWin::WaitUntil(int64_t deadline) {
    PumpMessagesUntil(deadline);
}

}  // namespace keys

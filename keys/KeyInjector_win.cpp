#include "keys/KeyInjector_win.h"

#include <mmsystem.h>

#include "base/win/MessagePump_win.h"
#include "base/win/SystemLibrary_win.h"

static_assert(keys::kKeyEventExtended == KEYEVENTF_EXTENDEDKEY && keys::kKeyEventKeyUp == KEYEVENTF_KEYUP &&
              keys::kKeyEventUnicode == KEYEVENTF_UNICODE);

namespace keys {

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

namespace {

// The fine timer for the pauses between keys. winmm is loaded on the first send, not at start:
// it brings the audio codec manager with it, two libraries loaded and set up in every copy,
// typing or not. Kept loaded from then on, so that later sends pay nothing for it.
struct TimerResolution {
    base::unique_hmodule winmm = base::win::LoadSystemLibrary(L"winmm.dll");
    decltype(&::timeBeginPeriod) begin =
        base::win::LibraryFunction<decltype(&::timeBeginPeriod)>(winmm, "timeBeginPeriod");
    decltype(&::timeEndPeriod) end = base::win::LibraryFunction<decltype(&::timeEndPeriod)>(winmm, "timeEndPeriod");
};

const TimerResolution& Timer() {
    static const TimerResolution timer;
    return timer;
}

bool BeginFinePeriod() {
    const TimerResolution& timer = Timer();
    return timer.begin != nullptr && timer.end != nullptr && timer.begin(1) == TIMERR_NOERROR;
}

}  // namespace

KeyInjectorWin::KeyInjectorWin(HKL layout) : _layout(layout), _periodSet(BeginFinePeriod()) {}

KeyInjectorWin::~KeyInjectorWin() {
    if (_periodSet) {
        (void)Timer().end(1);
    }
}

// SendInput rather than keybd_event: only SendInput carries Unicode character events.
void KeyInjectorWin::Inject(const KeyEvent& event) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = event.vk;
    input.ki.wScan = event.scan;
    input.ki.dwFlags = event.flags;  // our flag values are the KEYEVENTF_ ones
    // A blocked injection (another desktop, a higher-integrity window in front) loses the event
    // as keybd_event always did; the send goes on with the next one.
    (void)::SendInput(1, &input, sizeof input);
}

uint32_t KeyInjectorWin::MapVirtualKey(uint32_t vk) {
    return ::MapVirtualKeyExW(vk, 0 /* MAPVK_VK_TO_VSC */, _layout);
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

// Times the key event player with the real injector: types into a window run by a thread of
// its own (with its own input queue, as another program would have) and prints, for each pause
// setting, the gaps between injected events and between the key messages the window receives,
// and the processor time the sending thread used. Run it on the bench:
//   bench.sh run keys_player_bench.exe
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "HostProc.h"
#include "keys/KeyInjector_win.h"
#include "keys/KeyPlayer.h"
#include "keys/KeyboardLayout_win.h"

namespace {

std::mutex g_arrivalsLock;
std::vector<int64_t> g_arrivals;  // QPC microseconds of every key message the window received

std::vector<int64_t> Arrivals() {
    const std::lock_guard lock(g_arrivalsLock);
    return g_arrivals;
}

LRESULT CALLBACK TargetProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != WM_KEYDOWN && msg != WM_KEYUP && msg != WM_SYSKEYDOWN && msg != WM_SYSKEYUP) {
        return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    }
    const int64_t now = keys::QpcMicroseconds();
    const std::lock_guard lock(g_arrivalsLock);
    g_arrivals.push_back(now);
    return 0;
}

// The real injector, with the moment each event left.
class TimedInjector final : public keys::IKeyInjector {
  public:
    void Inject(const keys::KeyEvent& event) override {
        _real.Inject(event);
        injected.push_back(keys::QpcMicroseconds());
    }
    uint32_t MapVirtualKey(uint32_t vk) override { return _real.MapVirtualKey(vk); }
    keys::KeyboardState GetKeyboardState() override { return _real.GetKeyboardState(); }
    void SetKeyboardState(const keys::KeyboardState& s) override { _real.SetKeyboardState(s); }
    int64_t NowMicroseconds() override { return _real.NowMicroseconds(); }
    void WaitUntil(int64_t deadline) override { _real.WaitUntil(deadline); }

    std::vector<int64_t> injected;

  private:
    keys::KeyInjectorWin _real{::GetKeyboardLayout(0)};
};

// The sending thread's processor time: the target window's thread stands in for another
// program, whose time is not ours.
double ThreadCpuMs() {
    FILETIME created{}, exited{}, kernel{}, user{};
    return ::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user)
               ? hostproc::FileTimeMs(kernel) + hostproc::FileTimeMs(user)
               : 0.0;
}

void PrintGaps(const char* between, const std::vector<int64_t>& times) {
    std::vector<int64_t> gaps;
    for (size_t i = 1; i < times.size(); ++i) {
        gaps.push_back(times[i] - times[i - 1]);
    }
    std::sort(gaps.begin(), gaps.end());
    const auto ms = [&](size_t i) { return gaps.empty() ? 0.0 : gaps[i] / 1000.0; };
    std::printf("             gap between %-16s median %.3f ms, worst %.3f ms, shortest %.3f ms\n", between,
                ms(gaps.size() / 2), ms(gaps.size() - 1), ms(0));
}

}  // namespace

int main() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = TargetProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "KeyPlayerBenchTarget";
    if (!::RegisterClassA(&wc)) {
        std::printf("RegisterClass failed: %lu\n", ::GetLastError());
        return 1;
    }
    std::atomic<HWND> target{nullptr};
    std::atomic<DWORD> targetThreadId{0};
    std::thread targetThread([&] {
        HWND hwnd = ::CreateWindowExA(0, wc.lpszClassName, "Key player bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50,
                                      400, 200, /* hWndParent */ nullptr, /* hMenu */ nullptr, wc.hInstance,
                                      /* lpParam */ nullptr);
        (void)::SetForegroundWindow(hwnd);
        (void)::SetFocus(hwnd);
        targetThreadId = ::GetCurrentThreadId();
        target = hwnd;
        MSG msg{};
        while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::DestroyWindow(hwnd);
    });
    while (target == nullptr) {
        ::Sleep(10);
    }
    HWND hwnd = target;
    keys::PumpMessagesUntil(keys::QpcMicroseconds() + 500000);  // let the window settle
    std::printf("foreground is the bench window: %s\n", ::GetForegroundWindow() == hwnd ? "yes" : "no");

    // The floor under every pause: how late a 1 ms sleep wakes on this machine right now.
    {
        keys::KeyInjectorWin timerResolution(::GetKeyboardLayout(0));
        std::vector<int64_t> wakes;
        for (int i = 0; i < 200; ++i) {
            const int64_t start = keys::QpcMicroseconds();
            ::Sleep(1);
            wakes.push_back(keys::QpcMicroseconds() - start);
        }
        std::sort(wakes.begin(), wakes.end());
        std::printf("Sleep(1) takes: median %.3f ms, 90th percentile %.3f ms, worst %.3f ms\n", wakes[100] / 1000.0,
                    wakes[180] / 1000.0, wakes.back() / 1000.0);
    }

    for (const auto& [delayMs, chars] : {std::pair{0, 2000}, {1, 1000}, {5, 200}, {20, 50}}) {
        std::string script;
        for (int i = 0; i < chars; ++i) {
            script += static_cast<char>('a' + i % 26);
        }
        {
            const std::lock_guard lock(g_arrivalsLock);
            g_arrivals.clear();
        }
        TimedInjector injector;
        const double cpu0 = ThreadCpuMs();
        const int64_t wall0 = keys::QpcMicroseconds();
        const keys::KeyboardLayoutWin layout(::GetKeyboardLayout(0));
        const int16_t result = keys::SendKeyScript(
            script, [&layout](char32_t c) { return keys::MapCharacter(c, layout); }, injector, delayMs);
        const double wallMs = (keys::QpcMicroseconds() - wall0) / 1000.0;
        const double cpuMs = ThreadCpuMs() - cpu0;
        // The target works through its queue at its own pace: wait for every message (ten
        // seconds at most), so that none spills into the next run.
        for (int i = 0; i < 1000 && Arrivals().size() < injector.injected.size(); ++i) {
            ::Sleep(10);
        }
        const std::vector<int64_t> arrivals = Arrivals();
        std::printf(
            "delay %2d ms: result %d, %zu events injected in %.1f ms (%.0f events/s), %zu key messages "
            "received; sending thread's CPU %.1f ms = %.1f%% of wall time\n",
            delayMs, result, injector.injected.size(), wallMs, injector.injected.size() * 1e3 / wallMs, arrivals.size(),
            cpuMs, 100.0 * cpuMs / wallMs);
        PrintGaps("injected events:", injector.injected);
        PrintGaps("key messages:", arrivals);
    }
    (void)::PostThreadMessageA(targetThreadId, WM_QUIT, 0, 0);
    targetThread.join();
    return 0;
}

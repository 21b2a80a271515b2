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
#include <vector>

#include "keys/KeyInjector_win.h"
#include "keys/KeyPlayer.h"
#include "keys/KeyboardLayout_win.h"

namespace {

std::mutex g_arrivalsLock;
std::vector<int64_t> g_arrivals;  // QPC microseconds of every key message the window received

LRESULT CALLBACK TargetProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_KEYDOWN:
        case WM_KEYUP:
        case WM_SYSKEYDOWN:
        case WM_SYSKEYUP: {
            const int64_t now = keys::QpcMicroseconds();
            const std::lock_guard lock(g_arrivalsLock);
            g_arrivals.push_back(now);
            return 0;
        }
        default:
            return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    }
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
int64_t ThreadCpuMicroseconds() {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user)) {
        return 0;
    }
    auto us = [](FILETIME t) {
        return static_cast<int64_t>((uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime) / 10);
    };
    return us(kernel) + us(user);
}

struct GapStats {
    double medianMs = 0, worstMs = 0, shortestMs = 0;
    size_t count = 0;
};

GapStats Gaps(const std::vector<int64_t>& times) {
    std::vector<int64_t> gaps;
    for (size_t i = 1; i < times.size(); ++i) {
        gaps.push_back(times[i] - times[i - 1]);
    }
    GapStats stats;
    if (gaps.empty()) {
        return stats;
    }
    std::sort(gaps.begin(), gaps.end());
    stats.count = gaps.size();
    stats.medianMs = gaps[gaps.size() / 2] / 1000.0;
    stats.worstMs = gaps.back() / 1000.0;
    stats.shortestMs = gaps.front() / 1000.0;
    return stats;
}

void Settle(int ms) {
    keys::PumpMessagesUntil(keys::QpcMicroseconds() + int64_t{ms} * 1000);
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
    Settle(500);
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

    struct Run {
        int32_t delayMs;
        int chars;
    };
    const Run runs[] = {{0, 2000}, {1, 1000}, {5, 200}, {20, 50}};
    for (const Run& run : runs) {
        std::string script;
        for (int i = 0; i < run.chars; ++i) {
            script += static_cast<char>('a' + i % 26);
        }
        {
            const std::lock_guard lock(g_arrivalsLock);
            g_arrivals.clear();
        }
        TimedInjector injector;
        const int64_t cpu0 = ThreadCpuMicroseconds();
        const int64_t wall0 = keys::QpcMicroseconds();
        const keys::KeyboardLayoutWin layout(::GetKeyboardLayout(0));
        const int16_t result = keys::SendKeyScript(
            script, [&layout](char32_t c) { return keys::MapCharacter(c, layout); }, injector, run.delayMs);
        const int64_t wall = keys::QpcMicroseconds() - wall0;
        const int64_t cpu = ThreadCpuMicroseconds() - cpu0;
        // The target works through its queue at its own pace: wait for every message (ten
        // seconds at most), so that none spills into the next run.
        for (int i = 0; i < 1000; ++i) {
            size_t received = 0;
            {
                const std::lock_guard lock(g_arrivalsLock);
                received = g_arrivals.size();
            }
            if (received >= injector.injected.size()) {
                break;
            }
            ::Sleep(10);
        }
        const GapStats inj = Gaps(injector.injected);
        std::vector<int64_t> arrivals;
        {
            const std::lock_guard lock(g_arrivalsLock);
            arrivals = g_arrivals;
        }
        const GapStats arr = Gaps(arrivals);
        std::printf(
            "delay %2d ms: result %d, %zu events injected in %.1f ms (%.0f events/s), %zu key messages "
            "received; sending thread's CPU %.1f ms = %.1f%% of wall time\n",
            run.delayMs, result, injector.injected.size(), wall / 1000.0,
            injector.injected.size() * 1e6 / static_cast<double>(wall), g_arrivals.size(), cpu / 1000.0,
            100.0 * static_cast<double>(cpu) / static_cast<double>(wall));
        std::printf("             gap between injected events: median %.3f ms, worst %.3f ms, shortest %.3f ms\n",
                    inj.medianMs, inj.worstMs, inj.shortestMs);
        std::printf("             gap between key messages:    median %.3f ms, worst %.3f ms, shortest %.3f ms\n",
                    arr.medianMs, arr.worstMs, arr.shortestMs);
    }
    (void)::PostThreadMessageA(targetThreadId, WM_QUIT, 0, 0);
    targetThread.join();
    return 0;
}

// Measures one program the way the start-up benchmark reports it: the time from creating the
// process to its first visible top-level window, then, after the process has sat idle for a
// while, its CPU time and private memory. Prints one line of figures; ends the program.
//   StartupProbe.exe <program.exe> [idle-seconds]
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "HostProc.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: StartupProbe <program.exe> [idle-seconds]\n");
        return 2;
    }
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;
    std::string commandLine = std::string("\"") + argv[1] + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    LARGE_INTEGER freq, t0, t1;
    (void)::QueryPerformanceFrequency(&freq);
    (void)::QueryPerformanceCounter(&t0);
    if (!::CreateProcessA(argv[1], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::fprintf(stderr, "cannot start %s (%lu)\n", argv[1], ::GetLastError());
        return 1;
    }
    // The process's first visible top-level window that no other window owns.
    const auto findVisible = [](HWND hwnd, LPARAM lParam) -> BOOL {
        auto* s = reinterpret_cast<std::pair<DWORD, HWND>*>(lParam);
        DWORD pid = 0;
        (void)::GetWindowThreadProcessId(hwnd, &pid);
        if (pid == s->first && ::IsWindowVisible(hwnd) && ::GetWindow(hwnd, GW_OWNER) == nullptr) {
            s->second = hwnd;
            return FALSE;
        }
        return TRUE;
    };
    std::pair<DWORD, HWND> s{pi.dwProcessId, nullptr};
    for (int i = 0; i < 30000 && s.second == nullptr; ++i) {
        (void)::EnumWindows(findVisible, reinterpret_cast<LPARAM>(&s));
        if (s.second == nullptr) {
            ::Sleep(1);
        }
    }
    (void)::QueryPerformanceCounter(&t1);
    const double startMs = s.second == nullptr ? -1.0
                                               : static_cast<double>(t1.QuadPart - t0.QuadPart) * 1000.0 /
                                                     static_cast<double>(freq.QuadPart);
    ::Sleep(static_cast<DWORD>(idleSeconds) * 1000);
    FILETIME created, exited, kernel, user;
    (void)::GetProcessTimes(pi.hProcess, &created, &exited, &kernel, &user);
    PROCESS_MEMORY_COUNTERS_EX mem{};
    mem.cb = sizeof mem;
    (void)::GetProcessMemoryInfo(pi.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&mem), sizeof mem);
    // Wine does not report the private memory through the Windows calls.
    double privateKb = static_cast<double>(mem.PrivateUsage) / 1024.0;
    if (privateKb <= 0) {
        privateKb = hostproc::UnixPrivateKb(argv[1]);
    }
    std::printf("start_ms=%.1f cpu_ms=%.1f private_kb=%.0f working_set_kb=%.0f\n", startMs,
                hostproc::FileTimeMs(kernel) + hostproc::FileTimeMs(user), privateKb,
                static_cast<double>(mem.WorkingSetSize) / 1024.0);
    // Closed the way a user closes it, so that it cleans up (a killed program leaves its
    // notification-area icon behind, which slows the next start); killed only if it hangs.
    if (s.second != nullptr) {
        (void)::PostMessageA(s.second, WM_CLOSE, 0, 0);
    }
    if (::WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) {
        (void)::TerminateProcess(pi.hProcess, 0);
        (void)::WaitForSingleObject(pi.hProcess, 5000);
    }
    (void)::CloseHandle(pi.hThread);
    (void)::CloseHandle(pi.hProcess);
    return s.second != nullptr ? 0 : 1;
}

// Measures one program the way the start-up benchmark reports it: the time from creating the
// process to its first visible top-level window, then, after the process has sat idle for a
// while, its CPU time and private memory. Prints one line of figures; ends the program.
//   StartupProbe.exe <program.exe> [idle-seconds]
#include <windows.h>

#include <psapi.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "HostProc.h"

namespace {

using hostproc::ReadSmallFile;

struct Search {
    DWORD pid;
    bool found;
    HWND window;
};

BOOL CALLBACK FindVisible(HWND hwnd, LPARAM lParam) {
    auto* s = reinterpret_cast<Search*>(lParam);
    DWORD pid = 0;
    (void)::GetWindowThreadProcessId(hwnd, &pid);
    if (pid == s->pid && ::IsWindowVisible(hwnd) && ::GetWindow(hwnd, GW_OWNER) == nullptr) {
        s->found = true;
        s->window = hwnd;
        return FALSE;
    }
    return TRUE;
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to, const LARGE_INTEGER& freq) {
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(freq.QuadPart);
}

double FileTimeMs(const FILETIME& ft) {
    ULARGE_INTEGER v;
    v.LowPart = ft.dwLowDateTime;
    v.HighPart = ft.dwHighDateTime;
    return static_cast<double>(v.QuadPart) / 10000.0;
}

double StatusField(const std::string& status, const char* name) {
    const size_t at = status.find(name);
    return at == std::string::npos ? -1.0 : std::atof(status.c_str() + at + std::strlen(name));
}

// Under Wine the process's private memory is not reported through the Windows calls; the host's
// /proc (drive Z:) has it: the resident anonymous memory of the process whose command line
// names the program.
double UnixPrivateKb(const std::string& program) {
    WIN32_FIND_DATAA fd{};
    HANDLE h = ::FindFirstFileA("Z:\\proc\\*", &fd);
    if (h == INVALID_HANDLE_VALUE) {
        return -1.0;
    }
    double result = -1.0;
    do {
        if (fd.cFileName[0] < '0' || fd.cFileName[0] > '9') {
            continue;
        }
        const std::string dir = std::string("Z:\\proc\\") + fd.cFileName;
        std::string cmdline = ReadSmallFile(dir + "\\cmdline");
        for (char& c : cmdline) {
            c = c == '\0' ? ' ' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        std::string wanted = program;
        for (char& c : wanted) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        if (cmdline.find(wanted) == 0) {
            result = StatusField(ReadSmallFile(dir + "\\status"), "RssAnon:");
            break;
        }
    } while (::FindNextFileA(h, &fd));
    ::FindClose(h);
    return result;
}

}  // namespace

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
    LARGE_INTEGER freq;
    LARGE_INTEGER t0;
    LARGE_INTEGER t1;
    (void)::QueryPerformanceFrequency(&freq);
    (void)::QueryPerformanceCounter(&t0);
    if (!::CreateProcessA(argv[1], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::fprintf(stderr, "cannot start %s (%lu)\n", argv[1], ::GetLastError());
        return 1;
    }
    Search s{pi.dwProcessId, false, nullptr};
    for (int i = 0; i < 30000 && !s.found; ++i) {
        (void)::EnumWindows(&FindVisible, reinterpret_cast<LPARAM>(&s));
        if (!s.found) {
            ::Sleep(1);
        }
    }
    (void)::QueryPerformanceCounter(&t1);
    const double startMs = s.found ? Seconds(t0, t1, freq) * 1000.0 : -1.0;
    ::Sleep(static_cast<DWORD>(idleSeconds) * 1000);
    FILETIME created, exited, kernel, user;
    (void)::GetProcessTimes(pi.hProcess, &created, &exited, &kernel, &user);
    PROCESS_MEMORY_COUNTERS_EX mem{};
    mem.cb = sizeof mem;
    (void)::GetProcessMemoryInfo(pi.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&mem), sizeof mem);
    double privateKb = static_cast<double>(mem.PrivateUsage) / 1024.0;
    if (privateKb <= 0) {
        privateKb = UnixPrivateKb(argv[1]);
    }
    std::printf("start_ms=%.1f cpu_ms=%.1f private_kb=%.0f working_set_kb=%.0f\n", startMs,
                FileTimeMs(kernel) + FileTimeMs(user), privateKb, static_cast<double>(mem.WorkingSetSize) / 1024.0);
    // Closed the way a user closes it, so that it cleans up (a killed program leaves its
    // notification-area icon behind, which slows the next start); killed only if it hangs.
    if (s.window != nullptr) {
        (void)::PostMessageA(s.window, WM_CLOSE, 0, 0);
    }
    if (::WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) {
        (void)::TerminateProcess(pi.hProcess, 0);
        (void)::WaitForSingleObject(pi.hProcess, 5000);
    }
    (void)::CloseHandle(pi.hThread);
    (void)::CloseHandle(pi.hProcess);
    return s.found ? 0 : 1;
}

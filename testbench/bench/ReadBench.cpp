// Read benchmark (prints figures; not a test). Runs the real Pesora.exe against a virtual scale
// under Wine (or Windows) and measures
//   - the delay from the scale changing its report to the Weight box showing the new weight,
//     median and worst over a number of changes;
//   - Pesora's CPU time per minute while it reads, beside the CPU time of MinimalWindow.exe,
//     a program that only shows a window, over the same span (the idle floor).
//   ReadBench.exe [changes=200] [cpuSeconds=20] [scaleIntervalMs=50] [sampleRate=50]
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "Harness.h"
#include "HostProc.h"
#include "VirtualScale.h"
#include "app/resource.h"

namespace {

using hostproc::UnixCpuMs;

using namespace std::chrono_literals;

const std::string kSerial = "6203";
const std::string kExeName = "WeighBench";  // not a name the benchmark's own command line holds

double NowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// User plus kernel time of a process so far, in milliseconds, as Windows reports it.
double WindowsCpuMs(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        return -1.0;
    }
    auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) /
               10000.0;
    };
    return ms(kernel) + ms(user);
}

double CpuMs(HANDLE process, const std::string& program) {
    return e2e::RunningUnderWine() ? UnixCpuMs(program) : WindowsCpuMs(process);
}

double CpuPerMinute(HANDLE process, const std::string& program, int seconds) {
    const double before = CpuMs(process, program);
    const double start = NowMs();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));  // the span being measured
    const double after = CpuMs(process, program);
    const double elapsed = NowMs() - start;
    if (before < 0 || after < 0) {
        return -1.0;
    }
    return (after - before) * 60000.0 / elapsed;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return 0.0;
    }
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5));
    return v[i];
}

int Fail(const char* what) {
    std::fprintf(stderr, "ReadBench: %s\n", what);
    (void)e2e::Unplug(kSerial);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const int changes = argc > 1 ? std::atoi(argv[1]) : 200;
    const int cpuSeconds = argc > 2 ? std::atoi(argv[2]) : 20;
    const uint32_t scaleInterval = argc > 3 ? static_cast<uint32_t>(std::atoi(argv[3])) : 50;
    const std::string sampleRate = argc > 4 ? argv[4] : "50";

    e2e::ScaleOptions scale;
    scale.serial = kSerial;
    scale.productId = 0x6203;
    scale.friendlyName = "Bench Scale";
    scale.intervalMs = scaleInterval;
    std::string error;
    if (!e2e::Plug(scale, &error)) {
        std::fprintf(stderr, "ReadBench: cannot plug the scale: %s\n", error.c_str());
        return 1;
    }
    (void)e2e::SetWeight(kSerial, 4, 2, 0, 1);
    // Wine refreshes a process's raw-input device list at most every 2 s: give Pesora's first
    // enumeration a list that holds the scale.
    std::this_thread::sleep_for(2500ms);

    const std::string exe = e2e::InstallPesora(e2e::FreshFolder("weighbench"), kExeName + ".exe");
    const std::string ini = e2e::SettingsFileFor(kExeName);
    e2e::DeleteFileAt(ini);
    e2e::MakeFolders(e2e::FolderOf(ini));
    e2e::WriteIni(ini, "Settings", "SelectedScale", e2e::HidPath(scale));
    e2e::WriteIni(ini, "Settings", "SelectedUnits", "0");
    e2e::WriteIni(ini, "Settings", "IncludeUnits", "False");
    e2e::WriteIni(ini, "Settings", "SampleRate", sampleRate);

    std::vector<double> delays;
    double pesoraCpu = -1.0;
    {
        e2e::Process pesora = e2e::Start(exe);
        HWND main = pesora.Started() ? e2e::WaitForMainWindow(pesora) : nullptr;
        if (main == nullptr) {
            return Fail("Pesora did not show its main window");
        }
        HWND weight = e2e::Control(main, IDC_WEIGHT);
        if (!e2e::WaitUntil([&] { return e2e::Text(weight) == "1"; }, 10s)) {
            return Fail("Pesora does not read the scale");
        }
        int missed = 0;
        long polls = 0;
        long blanks = 0;  // the box read empty: cleared by a re-open between two reports
        for (int i = 0; i < changes; ++i) {
            const int16_t grams = static_cast<int16_t>(100 + i);
            const std::string expected = std::to_string(grams);
            const double t0 = NowMs();
            if (!e2e::SetWeight(kSerial, 4, 2, 0, grams)) {
                return Fail("the scale refused a weight");
            }
            bool seen = false;
            while (NowMs() - t0 < 5000.0) {
                const std::string shown = e2e::Text(weight);
                ++polls;
                blanks += shown.empty() ? 1 : 0;
                if (shown == expected) {
                    seen = true;
                    break;
                }
                ::Sleep(1);
            }
            if (seen) {
                delays.push_back(NowMs() - t0);
            } else {
                ++missed;
            }
        }
        std::printf("scale interval %u ms, Pesora SampleRate %s ms, %d changes (%d never shown)\n", scaleInterval,
                    sampleRate.c_str(), changes, missed);
        std::printf("Weight box read empty in %ld of %ld polls\n", blanks, polls);
        std::printf("report change to Weight box (ms): median %.1f  p90 %.1f  worst %.1f  best %.1f\n",
                    Percentile(delays, 0.5), Percentile(delays, 0.9), Percentile(delays, 1.0), Percentile(delays, 0.0));

        pesoraCpu = CpuPerMinute(pesora.Handle(), "\\" + kExeName + ".exe", cpuSeconds);
        e2e::ClickMenu(main, IDM_EXIT);
        (void)pesora.WaitOrKill();
    }
    (void)e2e::Unplug(kSerial);
    e2e::DeleteFileAt(ini);

    double floorCpu = -1.0;
    {
        e2e::Process minimal = e2e::Start(e2e::TestProgram("MinimalWindow.exe"));
        if (!minimal.Started()) {
            return Fail("MinimalWindow.exe did not start");
        }
        std::this_thread::sleep_for(2s);  // past its start-up, which is not what is measured
        floorCpu = CpuPerMinute(minimal.Handle(), "\\MinimalWindow.exe", cpuSeconds);
        minimal.Kill();
    }
    // The floor can be below the 10 ms resolution of /proc: then there is no ratio to give.
    std::printf("CPU per minute over %d s (ms): Pesora reading %.0f, MinimalWindow idle %.0f", cpuSeconds, pesoraCpu,
                floorCpu);
    if (floorCpu > 0) {
        std::printf(", ratio %.1f\n", pesoraCpu / floorCpu);
    } else {
        std::printf(" (below the 10 ms resolution)\n");
    }
    return 0;
}

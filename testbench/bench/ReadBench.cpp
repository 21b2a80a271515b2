// Read benchmark (prints figures; not a test). Runs the real Pesora.exe against a virtual scale
// under Wine (or Windows) and measures
//   - the delay from the scale changing its report to the Weight box showing the new weight,
//     median and worst over a number of changes;
//   - Pesora's CPU time per minute while it reads, beside the CPU time of MinimalWindow.exe,
//     a program that only shows a window, over the same span (the idle floor).
// With onChange=1 the scale sends a report only when its weight changes, so the CPU time is that
// of a scale with nothing on it changing.
//   ReadBench.exe [changes=200] [cpuSeconds=20] [scaleIntervalMs=50] [sampleRate=50] [onChange=0]
#include <cstdio>
#include <cstdlib>

#include "Bench.h"

int main(int argc, char** argv) {
    const int changes = argc > 1 ? std::atoi(argv[1]) : 200;
    const int cpuSeconds = argc > 2 ? std::atoi(argv[2]) : 20;
    const auto scaleInterval = static_cast<uint32_t>(argc > 3 ? std::atoi(argv[3]) : 50);
    const std::string sampleRate = argc > 4 ? argv[4] : "50";
    const bool onChange = argc > 5 && std::atoi(argv[5]) != 0;

    double pesoraCpu = -1.0;
    {
        // Not a name the benchmark's own command line holds, for the CPU time from /proc.
        bench::Reader reader("WeighBench", "6203", scaleInterval, {{"SelectedUnits", "0"}, {"SampleRate", sampleRate}},
                             onChange);
        if (!reader.ready) {
            std::fprintf(stderr, "ReadBench: Pesora does not read the scale\n");
            return 1;
        }
        std::vector<double> delays;
        long polls = 0;
        long blanks = 0;  // the box read empty: cleared by a re-open between two reports
        // Each change comes SampleRate after the one before was shown: the rate bounds how often
        // the display may change, and a change that comes sooner waits for it by design.
        const int missed = reader.Step(
            changes,
            [&](const std::string& expected, double t0) {
                const std::string shown = reader.pesora->Weight();
                ++polls;
                blanks += shown.empty() ? 1 : 0;
                if (shown == expected) {
                    delays.push_back(bench::NowMs() - t0);
                }
                return shown == expected;
            },
            static_cast<DWORD>(std::atoi(sampleRate.c_str())));
        std::printf("scale %s, Pesora SampleRate %s ms, %d changes (%d never shown)\n",
                    onChange ? "reporting on change only"
                             : ("repeating every " + std::to_string(scaleInterval) + " ms").c_str(),
                    sampleRate.c_str(), changes, missed);
        std::printf("Weight box read empty in %ld of %ld polls\n", blanks, polls);
        std::printf("report change to Weight box (ms): median %.1f  p90 %.1f  worst %.1f  best %.1f\n",
                    bench::Percentile(delays, 0.5), bench::Percentile(delays, 0.9), bench::Percentile(delays, 1.0),
                    bench::Percentile(delays, 0.0));
        pesoraCpu = reader.CpuPerMinute(cpuSeconds);
    }

    e2e::Process minimal = e2e::Start(e2e::TestProgram("MinimalWindow.exe"));
    if (!minimal.Started()) {
        std::fprintf(stderr, "ReadBench: MinimalWindow.exe did not start\n");
        return 1;
    }
    ::Sleep(2000);  // past its start-up, which is not what is measured
    const double floorCpu = bench::CpuPerMinute(minimal.Handle(), "MinimalWindow.exe", cpuSeconds);
    minimal.Kill();
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

// Read benchmark (prints figures; not a test). Runs the real Pesora.exe against a virtual scale
// under Wine (or Windows) and measures
//   - the delay from the scale changing its report to the Weight box showing the new weight,
//     median and worst over a number of changes;
//   - Pesora's CPU time per minute while it reads, beside the CPU time of MinimalWindow.exe,
//     a program that only shows a window, over the same span (the idle floor);
//   - with a web port given, the CPU time of a second copy reading the same way with its web
//     endpoint on that port and no client, as a ratio of the first (the endpoint's idle cost).
//   ReadBench.exe [changes=200] [cpuSeconds=20] [scaleIntervalMs=50] [sampleRate=50] [webPort=0]
#include <cstdio>
#include <cstdlib>

#include "Bench.h"

int main(int argc, char** argv) {
    const int changes = argc > 1 ? std::atoi(argv[1]) : 200;
    const int cpuSeconds = argc > 2 ? std::atoi(argv[2]) : 20;
    const auto scaleInterval = static_cast<uint32_t>(argc > 3 ? std::atoi(argv[3]) : 50);
    const std::string sampleRate = argc > 4 ? argv[4] : "50";
    const std::string webPort = argc > 5 ? argv[5] : "0";

    double pesoraCpu = -1.0;
    {
        // Not a name the benchmark's own command line holds, for the CPU time from /proc.
        bench::Reader reader("WeighBench", "6203", scaleInterval, {{"SelectedUnits", "0"}, {"SampleRate", sampleRate}});
        if (!reader.ready) {
            std::fprintf(stderr, "ReadBench: Pesora does not read the scale\n");
            return 1;
        }
        std::vector<double> delays;
        long polls = 0;
        long blanks = 0;  // the box read empty: cleared by a re-open between two reports
        const int missed = reader.Step(changes, [&](const std::string& expected, double t0) {
            const std::string shown = reader.pesora->Weight();
            ++polls;
            blanks += shown.empty() ? 1 : 0;
            if (shown == expected) {
                delays.push_back(bench::NowMs() - t0);
            }
            return shown == expected;
        });
        std::printf("scale interval %u ms, Pesora SampleRate %s ms, %d changes (%d never shown)\n", scaleInterval,
                    sampleRate.c_str(), changes, missed);
        std::printf("Weight box read empty in %ld of %ld polls\n", blanks, polls);
        std::printf("report change to Weight box (ms): median %.1f  p90 %.1f  worst %.1f  best %.1f\n",
                    bench::Percentile(delays, 0.5), bench::Percentile(delays, 0.9), bench::Percentile(delays, 1.0),
                    bench::Percentile(delays, 0.0));
        pesoraCpu = reader.CpuPerMinute(cpuSeconds);
    }
    if (webPort != "0") {
        bench::Reader reader("WebIdleBench", "6204", scaleInterval,
                             {{"SelectedUnits", "0"}, {"SampleRate", sampleRate}, {"WebPort", webPort}});
        const double webCpu = reader.ready ? reader.CpuPerMinute(cpuSeconds) : -1.0;
        std::printf("CPU per minute over %d s (ms): web endpoint on port %s, no client: %.0f, ratio to off %.2f\n",
                    cpuSeconds, webPort.c_str(), webCpu, pesoraCpu > 0 ? webCpu / pesoraCpu : 0.0);
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

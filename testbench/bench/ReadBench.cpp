// Read benchmark (prints figures; not a test). Runs the real Pesora.exe against a virtual scale
// under Wine (or Windows) and measures
//   - the delay from the scale changing its report to the Weight box showing the new weight,
//     median and worst over a number of changes;
//   - Pesora's CPU time per minute while it reads, beside the CPU time of MinimalWindow.exe,
//     a program that only shows a window, over the same span (the idle floor);
//   - with a web port given, the CPU time of a second copy reading the same way with its web
//     endpoint on that port and no client, as a ratio of the first (the endpoint's idle cost);
//   - for hands-free send, the delay from the scale's first stable report of a placement to the
//     weight typed in the application with the focus, beyond the settle time (SettleMs).
// With onChange=1 the scale sends a report only when its weight changes, so the CPU time is that
// of a scale with nothing on it changing. With a baseline exe given, a copy of it reads a scale of
// its own the same way over the same span, and both CPU times are printed side by side: here CPU
// time drifts by a factor of two within an hour for any build, so only a paired figure tells two
// builds apart.
//   ReadBench.exe [changes=200] [cpuSeconds=20] [scaleIntervalMs=50] [sampleRate=50] [onChange=0]
//                 [placements=20] [settleMs=0] [webPort=0] [baselineExe]
#include <cstdio>
#include <cstdlib>

#include "Bench.h"

int main(int argc, char** argv) {
    const int changes = argc > 1 ? std::atoi(argv[1]) : 200;
    const int cpuSeconds = argc > 2 ? std::atoi(argv[2]) : 20;
    const auto scaleInterval = static_cast<uint32_t>(argc > 3 ? std::atoi(argv[3]) : 50);
    const std::string sampleRate = argc > 4 ? argv[4] : "50";
    const bool onChange = argc > 5 && std::atoi(argv[5]) != 0;
    const std::string webPort = argc > 8 ? argv[8] : "0";
    const std::string baselineExe = argc > 9 ? argv[9] : "";

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
        if (baselineExe.empty()) {
            pesoraCpu = reader.CpuPerMinute(cpuSeconds);
        } else {
            bench::Reader baseline("BaselineBench", "6206", scaleInterval,
                                   {{"SelectedUnits", "0"}, {"SampleRate", sampleRate}}, onChange, baselineExe);
            if (!baseline.ready) {
                std::fprintf(stderr, "ReadBench: the baseline %s does not read its scale\n", baselineExe.c_str());
                return 1;
            }
            const std::vector<double> cpu =
                bench::CpuPerMinute({{reader.pesora->process().Handle(), reader.exeName},
                                     {baseline.pesora->process().Handle(), baseline.exeName}},
                                    cpuSeconds);
            pesoraCpu = cpu[0];
            const double baselineCpu = cpu[1];
            std::printf(
                "CPU per minute over the same %d s (ms): Pesora reading %.0f, baseline reading %.0f, ratio %.2f\n",
                cpuSeconds, pesoraCpu, baselineCpu, baselineCpu > 0 ? pesoraCpu / baselineCpu : 0.0);
        }
    }
    if (webPort != "0") {
        bench::Reader reader("WebIdleBench", "6204", scaleInterval,
                             {{"SelectedUnits", "0"}, {"SampleRate", sampleRate}, {"WebPort", webPort}});
        const double webCpu = reader.ready ? reader.CpuPerMinute(cpuSeconds) : -1.0;
        std::printf("CPU per minute over %d s (ms): web endpoint on port %s, no client: %.0f, ratio to off %.2f\n",
                    cpuSeconds, webPort.c_str(), webCpu, pesoraCpu > 0 ? webCpu / pesoraCpu : 0.0);
    }

    const int placements = argc > 6 ? std::atoi(argv[6]) : 20;
    const int settleMs = argc > 7 ? std::atoi(argv[7]) : 0;
    if (placements > 0) {
        // Its first weight, 1 g, is below the minimum: nothing is typed before the target is there.
        bench::Reader placer("PlaceBench", "6205", scaleInterval,
                             {{"SampleRate", sampleRate},
                              {"AutoSend", "True"},
                              {"AutoSendMin", "5"},
                              {"SettleMs", std::to_string(settleMs)},
                              {"Postamble", "|"},
                              {"InterCharacterDelay", "0"}});
        e2e::Target target("Place Bench Target");
        std::vector<double> delays;
        for (int i = 0; placer.ready && i < placements; ++i) {
            (void)placer.scale.SetGrams(0, 2);  // the platform cleared
            (void)e2e::WaitUntil([&] { return placer.pesora->Weight() == "0"; }, std::chrono::seconds(5));
            target.Clear();
            (void)target.Focus();
            const std::string grams = std::to_string(1000 + i);
            const double t0 = bench::NowMs();
            (void)placer.scale.SetGrams(1000 + i);
            while (target.Text() != grams + "|" && bench::NowMs() - t0 < 5000.0) {
                ::Sleep(1);
            }
            if (target.Text() == grams + "|") {
                delays.push_back(bench::NowMs() - t0 - settleMs);
            }
        }
        std::printf(
            "hands-free, SettleMs %d: stable report to typed text beyond it (ms), %zu of %d typed: "
            "median %.1f  p90 %.1f  worst %.1f\n",
            settleMs, delays.size(), placements, bench::Percentile(delays, 0.5), bench::Percentile(delays, 0.9),
            bench::Percentile(delays, 1.0));
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

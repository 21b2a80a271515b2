// Serial read benchmark (prints figures; not a test). The real Pesora.exe reads a virtual serial
// scale of the bench: a streaming one (continuous lines, one at once on each change and then
// every 100 ms) and a polled one (NCI, answering at once), each at SampleRate 50 and 200.
// Prints the delay from the scale's new reading to the Weight box showing it, and Pesora's CPU
// time per minute while it reads (the same budget as a HID scale's, beside ReadBench's floor).
//   SerialReadBench.exe [changes=100] [cpuSeconds=20]
#include <cstdio>
#include <cstdlib>

#include "Bench.h"

using namespace std::chrono_literals;

namespace {

void Measure(const char* kind,
             const char* port,
             const char* protocol,
             const std::string& sampleRate,
             int changes,
             int cpuSeconds) {
    e2e::SerialScale scale(port);
    if (!scale.Do(std::string("proto ") + protocol) || !scale.Do("set stable 1 g")) {
        std::fprintf(stderr, "SerialReadBench: the virtual serial scale does not answer\n");
        return;
    }
    e2e::Pesora pesora({.name = "SerialBench",
                        .settings = e2e::SettingsText({{"SelectedScale", std::string("\\\\.\\") + port},
                                                       {"IncludeUnits", "False"},
                                                       {"SampleRate", sampleRate}})});
    if (!pesora.Started() || !pesora.WaitWeight("1", 60s)) {  // detection first
        std::fprintf(stderr, "SerialReadBench: Pesora does not read %s (%s)\n", port, pesora.Status().c_str());
        return;
    }
    std::vector<double> delays;
    const int missed = bench::StepWeights(
        changes, [&](int grams) { (void)scale.Do("set stable " + std::to_string(grams) + " g"); },
        [&](const std::string& expected, double t0) {
            const bool shown = pesora.Weight() == expected;
            if (shown) {
                delays.push_back(bench::NowMs() - t0);
            }
            return shown;
        },
        static_cast<DWORD>(std::atoi(sampleRate.c_str())));
    const double cpu = bench::CpuPerMinute(pesora.process().Handle(), "SerialBench.exe", cpuSeconds);
    std::printf(
        "%s %s on %s, SampleRate %s: new reading to Weight box (ms) median %.1f  p90 %.1f  worst %.1f "
        "(%d of %d never shown); CPU per minute %.0f ms\n",
        kind, protocol, port, sampleRate.c_str(), bench::Percentile(delays, 0.5), bench::Percentile(delays, 0.9),
        bench::Percentile(delays, 1.0), missed, changes, cpu);
}

}  // namespace

int main(int argc, char** argv) {
    const int changes = argc > 1 ? std::atoi(argv[1]) : 100;
    const int cpuSeconds = argc > 2 ? std::atoi(argv[2]) : 20;
    for (const char* rate : {"50", "200"}) {
        Measure("streaming", "COM9", "line", rate, changes, cpuSeconds);
        Measure("polled", "COM5", "nci", rate, changes, cpuSeconds);
    }
    return 0;
}

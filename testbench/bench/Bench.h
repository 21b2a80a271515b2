#pragma once
// What the read and the web benchmark share: a virtual scale and a copy of Pesora that reads it,
// the clock, the weight steps whose delays they measure, and a program's CPU time per minute.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Fixture.h"
#include "HostProc.h"

namespace bench {

using namespace std::chrono_literals;

inline double NowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

inline double Percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return 0.0;
    }
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5))];
}

// User plus kernel time of a process so far in milliseconds: Windows reports it, Wine does not
// for other processes, but the host's /proc has it. Negative when unknown.
inline double CpuMs(HANDLE process, const std::string& exeName) {
    if (e2e::RunningUnderWine()) {
        return hostproc::UnixCpuMs("\\" + exeName);
    }
    FILETIME created, exited, kernel, user;
    return ::GetProcessTimes(process, &created, &exited, &kernel, &user)
               ? hostproc::FileTimeMs(kernel) + hostproc::FileTimeMs(user)
               : -1.0;
}

// Each process's CPU time per minute (-1 when unknown) over the same `seconds`, while
// `meanwhile` runs every 100 ms. A process is its handle and its exe name.
inline std::vector<double> CpuPerMinute(
    const std::vector<std::pair<HANDLE, std::string>>& processes,
    int seconds,
    const std::function<void()>& meanwhile = [] {}) {
    std::vector<double> before;
    for (const auto& [process, exeName] : processes) {
        before.push_back(CpuMs(process, exeName));
    }
    const double start = NowMs();
    while (NowMs() - start < seconds * 1000.0) {
        meanwhile();
        ::Sleep(100);
    }
    std::vector<double> perMinute;
    for (size_t i = 0; i < processes.size(); ++i) {
        const double after = CpuMs(processes[i].first, processes[i].second);
        perMinute.push_back(before[i] < 0 || after < 0 ? -1.0 : (after - before[i]) * 60000.0 / (NowMs() - start));
    }
    return perMinute;
}

inline double CpuPerMinute(
    HANDLE process,
    const std::string& exeName,
    int seconds,
    const std::function<void()>& meanwhile = [] {}) {
    return CpuPerMinute({{process, exeName}}, seconds, meanwhile).front();
}

// Steps the weight through 100, 101, ... grams with `setGrams`, `changes` times, each `gapMs`
// after the one before arrived; after each step calls `arrived(expected text, NowMs() at the
// step)` every millisecond until it returns true or 5 s pass. Returns how many never arrived.
inline int StepWeights(int changes,
                       const std::function<void(int grams)>& setGrams,
                       const std::function<bool(const std::string&, double)>& arrived,
                       DWORD gapMs) {
    int missed = 0;
    for (int i = 0; i < changes; ++i) {
        ::Sleep(gapMs);
        const double t0 = NowMs();
        setGrams(100 + i);
        bool seen = false;
        while (!(seen = arrived(std::to_string(100 + i), t0)) && NowMs() - t0 < 5000.0) {
            ::Sleep(1);
        }
        missed += seen ? 0 : 1;
    }
    return missed;
}

// A virtual scale and a copy of Pesora named `name` that reads it in grams without units (with
// `settings` besides), started and showing the scale's first weight, 1; `ready` says it got there.
// An `onChangeOnly` scale sends a report only when its weight changes.
struct Reader {
    Reader(const std::string& name,
           const std::string& serial,
           uint32_t scaleIntervalMs,
           std::vector<std::pair<std::string, std::string>> settings,
           bool onChangeOnly = false,
           std::string source = {})
        : scale([&] {
              e2e::ScaleOptions options = e2e::Scale::Options(serial, "Bench Scale " + serial);
              options.intervalMs = scaleIntervalMs;
              options.onChangeOnly = onChangeOnly;
              return options;
          }()),
          exeName(name + ".exe") {
        (void)scale.SetGrams(1);
        e2e::WaitOutRawInputCache();  // Pesora's first enumeration must find the scale
        settings.insert(settings.begin(), {{"SelectedScale", scale.Path()}, {"IncludeUnits", "False"}});
        pesora = std::make_unique<e2e::Pesora>(
            e2e::PesoraOptions{.name = name, .settings = e2e::SettingsText(settings), .source = std::move(source)});
        ready = scale.Plugged() && pesora->Started() && pesora->WaitWeight("1", 10s);
    }

    // StepWeights on this scale.
    int Step(int changes, const std::function<bool(const std::string&, double)>& arrived, DWORD gapMs = 0) {
        return StepWeights(
            changes, [this](int grams) { (void)scale.SetGrams(grams); }, arrived, gapMs);
    }

    double CpuPerMinute(
        int seconds,
        const std::function<void()>& meanwhile = [] {}) {
        return bench::CpuPerMinute(pesora->process().Handle(), exeName, seconds, meanwhile);
    }

    e2e::Scale scale;
    std::unique_ptr<e2e::Pesora> pesora;
    std::string exeName;
    bool ready = false;
};

}  // namespace bench

#include "weighing/ReadCycle.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace weighing {
namespace {

using Report = std::array<uint8_t, 8>;

// The window, the read timer and the scale in one, every call written to one log. The scale
// delivers the queued reports one per read; with none queued it behaves like the time-out path,
// whose re-open succeeds or fails as told.
struct Bench : IReadCycleView, base::IReadTimer, IScaleDevice {
    Bench() {
        state.deviceOpen = true;
        state.scaleTable.resize(1);
    }
    void Log(const std::string& call) { log += (log.empty() ? "" : " | ") + call; }
    void SetWeightBox(std::string_view text) override { Log("Weight=" + std::string(text)); }
    void SetStatus(std::string_view text) override { Log("Status=" + std::string(text)); }
    void SetWeightCaption(std::string_view text) override { Log("Caption=" + std::string(text)); }
    void SetTimerEnabled(bool enabled) override { Log((timerOn = enabled) ? "Timer on" : "Timer off"); }
    bool TimerEnabled() const override { return timerOn; }
    void SetTimerInterval(int32_t) override {}
    void DoEvents() override {
        Log("DoEvents");
        return onDoEvents ? onDoEvents() : void();
    }
    void ReadInputReport(std::span<uint8_t, 8> buffer, uint32_t waitMs) override {
        if (onRead) {
            onRead();
        }
        Log("Read wait=" + std::to_string(waitMs));
        state.deviceOpen = !reports.empty() || reopenSucceeds;
        if (!reports.empty()) {
            std::copy(reports.front().begin(), reports.front().end(), buffer.begin());
            reports.erase(reports.begin());
        }
    }
    void SendZeroReport() override { ++zeroReports; }

    base::AppState state;
    std::string log;
    std::function<void()> onDoEvents, onRead;
    std::vector<Report> reports;
    bool timerOn = true, reopenSucceeds = true;
    int zeroReports = 0;
    ReadCycle cycle{state, *this, *this, *this};
};

const std::string kShown1kg = "Status= | Weight=1 kg | Caption=Weight (kg):";

// The cycle never waits for the scale, whatever the rate; a silent scale that cannot be opened again stops the timer;
// no scale open: no read, no message pass. What the hotkey types is what the Weight box shows.
TEST(ReadWeight, RunsTheStepsInOrder) {
    const Report kg = {3, 4, 3, 0xFF, 0x7B, 0x04, 0, 0};                          // 114.7 kg, stable
    const Report moving = {3, 3, 2, 0x00, 0x05, 0x00, 0, 0};                      // 5 g in motion
    const Report under = {3, 5, 3, 0x00, 0x02, 0x00, 0, 0};                       // -2 kg
    const std::string notFound = "Timer off | Status=Scale Not Found | Weight=";  // no weight for a scale not read
    // clang-format off
    struct Case { bool deviceOpen; std::optional<Report> report; bool reopens; int32_t sampleRate; std::string log; };
    const Case cases[] = {
        {true, kg, true, 50, "Read wait=0 | DoEvents | Status= | Weight=114.7 kg | Caption=Weight (kg):"},
        {true, moving, true, 200, "Read wait=0 | DoEvents | Status=Scale In Motion | Weight=5 g | Caption=Weight (g):"},
        {true, under, true, 500, "Read wait=0 | DoEvents | Status=Negative Weight | Weight=-2 kg | Caption=Weight (kg):"},
        {true, std::nullopt, true, 50, "Read wait=0 | DoEvents | Status= | Weight=0 | Caption=Weight ():"},
        {true, std::nullopt, false, 50, "Read wait=0 | DoEvents | " + notFound}, {false, kg, true, 50, notFound},
    };
    // clang-format on
    for (const Case& c : cases) {
        Bench bench;
        bench.state.deviceOpen = c.deviceOpen;
        bench.state.settings.SampleRate = c.sampleRate;
        bench.reopenSucceeds = c.reopens;
        if (c.report) {
            bench.reports.push_back(*c.report);
        }
        bench.cycle.ReadWeight();
        EXPECT_EQ(bench.log, c.log);
        EXPECT_NE((bench.log + " |").find("Weight=" + bench.state.weightText + bench.state.unitsSuffix + " |"),
                  std::string::npos);
        EXPECT_FALSE(bench.cycle.Running());
    }
}

// A report without a unit keeps the suffix shown; a scale gone shows no weight (its last report
// is kept, but no longer stands for what is on it); settings changed while the messages ran apply
// to this cycle.
TEST(ReadWeight, KeepsTheLastReportAndSuffixAndUsesSettingsChangedInTheCycleButNoGoneScale) {
    Bench bench;
    bench.state.settings.WeightFormat = "0.00";
    bench.reports = {{3, 4, 3, 0x00, 0x07, 0x00, 0, 0}, {3, 4, 0, 0x00, 0x09, 0x00, 0, 0}};
    bench.cycle.ReadWeight();
    EXPECT_EQ(bench.state.weightText, "7.00");
    bench.cycle.ReadWeight();
    bench.log.clear();
    bench.reopenSucceeds = false;  // the scale has gone
    bench.cycle.ReadWeight();
    EXPECT_EQ(bench.log, "Read wait=0 | DoEvents | Timer off | Status=Scale Not Found | Weight=");
    bench.state.deviceOpen = bench.reopenSucceeds = bench.timerOn = true;
    bench.reports = {{3, 4, 3, 0xFF, 0x0F, 0x00, 0, 0}};  // 1.5 kg
    bench.onDoEvents = [&] {
        bench.state.settings.WeightFormat = "0.000";
        bench.state.settings.SelectedUnits = 2;
    };
    bench.cycle.ReadWeight();
    EXPECT_EQ(bench.state.weightText + bench.state.unitsSuffix, "1500.000 g");

    // The selected scale pulled out while the messages ran: its removal stopped the timer and
    // emptied the weight, and the cycle must not put the gone scale's weight back. A handler
    // that throws leaves the cycle not running.
    bench.log.clear();
    bench.reports = {{3, 4, 3, 0x00, 0x08, 0x00, 0, 0}};
    bench.onDoEvents = [&] {
        bench.SetTimerEnabled(false);
        bench.SetWeightBox("");
    };
    bench.cycle.ReadWeight();
    EXPECT_EQ(bench.log, "Read wait=0 | DoEvents | Timer off | Weight=");
    EXPECT_EQ(bench.state.weightText, "1500.000");
    bench.onDoEvents = [] { throw std::runtime_error("handler failed"); };
    bench.timerOn = true;
    EXPECT_THROW(bench.cycle.ReadWeight(), std::runtime_error);
    EXPECT_FALSE(bench.cycle.Running());
}

// A tick that arrives inside a cycle's message pass is dropped; the next regular tick reads.
// The hotkey's TakeQueuedReports there reads without waiting and shows the newest report.
TEST(ReadWeight, DropsATickThatArrivesInsideACycle) {
    for (const bool hotkey : {false, true}) {
        Bench bench;
        bench.reports = {{3, 4, 3, 0x00, 0x01, 0x00, 0, 0}, {3, 4, 3, 0x00, 0x02, 0x00, 0, 0}};
        bench.onDoEvents = [&] {
            hotkey ? bench.cycle.TakeQueuedReports() : (void)bench.cycle.ReadWeight();
            EXPECT_TRUE(bench.cycle.Running());
        };
        bench.cycle.ReadWeight();
        const std::string shown2kg = " | Status= | Weight=2 kg | Caption=Weight (kg):";
        EXPECT_EQ(bench.log, hotkey ? "Read wait=0 | DoEvents | Read wait=0" + shown2kg + shown2kg
                                    : "Read wait=0 | DoEvents | " + kShown1kg);
        bench.onDoEvents = nullptr;
        bench.cycle.ReadWeight();
        EXPECT_EQ(bench.state.weightText, "2");
    }
}

// Before a hotkey send the reports already sent are taken without a wait and without a message
// pass; never inside the read itself, and never without an open scale.
TEST(TakeQueuedReports, ReadsWithoutWaitingAndShowsTheNewestReport) {
    // clang-format off
    struct Case { bool deviceOpen, timerOn, fromInsideTheRead; std::string log; };
    const Case cases[] = {
        {true, true, false, "Read wait=0 | " + kShown1kg}, {false, true, false, ""}, {true, false, false, ""},
        {true, true, true, "Read wait=0 | DoEvents | " + kShown1kg},
    };
    // clang-format on
    for (const Case& c : cases) {
        Bench bench;
        bench.state.settings.SampleRate = 500;
        bench.state.deviceOpen = c.deviceOpen;
        bench.timerOn = c.timerOn;
        bench.reports.push_back({3, 4, 3, 0x00, 0x01, 0x00, 0, 0});
        if (c.fromInsideTheRead) {
            bench.onRead = [&] { bench.cycle.TakeQueuedReports(); };  // no read does this, but none may nest
            bench.cycle.ReadWeight();
        } else {
            bench.cycle.TakeQueuedReports();
        }
        EXPECT_EQ(bench.log, c.log);
    }
}

TEST(ZeroButton_Click, SendsTheZeroReportOnlyForAnOpenSelectedScale) {
    // open, selected row, rows, zero reports sent
    // clang-format off
    const std::tuple<bool, int, size_t, int> cases[] = {
        {true, 0, 1, 1}, {true, 1, 2, 1}, {false, 0, 1, 0}, {true, -1, 1, 0}, {true, 0, 0, 0}, {true, 1, 1, 0}};
    // clang-format on
    for (const auto& [open, row, rows, sent] : cases) {
        Bench bench;
        bench.state.deviceOpen = open;
        bench.state.scaleTable.resize(rows);
        EXPECT_EQ(ZeroButton_Click(bench.state, row, bench), sent == 1) << row << " of " << rows;
        EXPECT_EQ(bench.zeroReports, sent) << row << " of " << rows;
    }
}

}  // namespace
}  // namespace weighing

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

// Records what the cycle does to the window, in order, as one line of text per call.
class RecordingView : public IReadCycleView, public base::IReadTimer {
  public:
    std::vector<std::string> calls;
    std::function<void()> onDoEvents;
    int listIndex = 0;
    bool timerEnabled = true;

    void SetWeightBox(std::string_view text) override { calls.push_back("Weight=" + std::string(text)); }
    void SetStatus(std::string_view text) override { calls.push_back("Status=" + std::string(text)); }
    void SetWeightCaption(std::string_view text) override { calls.push_back("Caption=" + std::string(text)); }
    void SetTimerEnabled(bool enabled) override {
        timerEnabled = enabled;
        calls.push_back(enabled ? "Timer on" : "Timer off");
    }
    bool TimerEnabled() const override { return timerEnabled; }
    void SetTimerInterval(int32_t) override {}
    void DoEvents() override {
        calls.push_back("DoEvents");
        if (onDoEvents) {
            onDoEvents();
        }
    }
};

// Delivers the queued reports one per read; with none queued it behaves like the time-out path,
// whose re-open succeeds or fails as told.
class FakeDevice : public IScaleDevice {
  public:
    explicit FakeDevice(base::AppState& state, std::vector<std::string>& calls) : _state(state), _calls(calls) {}
    std::vector<Report> reports;
    bool reopenSucceeds = true;
    int zeroReports = 0;

    void ReadInputReport(std::span<uint8_t, 8> buffer, uint32_t waitMs) override {
        _calls.push_back("Read wait=" + std::to_string(waitMs));
        if (!reports.empty()) {
            std::copy(reports.front().begin(), reports.front().end(), buffer.begin());
            reports.erase(reports.begin());
        } else {
            _state.deviceOpen = reopenSucceeds;
        }
    }
    void SendZeroReport() override { ++zeroReports; }

  private:
    base::AppState& _state;
    std::vector<std::string>& _calls;
};

struct Bench {
    base::AppState state;
    RecordingView view;
    FakeDevice device{state, view.calls};
    ReadCycle cycle{state, view, view, device};
    Bench() {
        state.deviceOpen = true;
        state.scaleTable.push_back({"\\\\?\\HID#VID_0922&PID_8003#1", "Scale"});
        state.settings.SelectedUnits = 0;
    }
};

std::string Joined(const std::vector<std::string>& calls) {
    std::string out;
    for (const auto& call : calls) {
        out += (out.empty() ? "" : " | ") + call;
    }
    return out;
}

TEST(ReadWeight, RunsTheStepsInOrder) {
    struct Case {
        int line;
        bool deviceOpen;
        std::optional<Report> report;
        bool reopenSucceeds;
        int32_t sampleRate;
        const char* expected;
        const char* weightText;
    };
    const Report kg = {3, 4, 3, 0xFF, 0x7B, 0x04, 0, 0};      // 114.7 kg, stable
    const Report moving = {3, 3, 2, 0x00, 0x05, 0x00, 0, 0};  // 5 g in motion
    const Report under = {3, 5, 3, 0x00, 0x02, 0x00, 0, 0};   // -2 kg
    const Case cases[] = {
        {__LINE__, true, kg, true, 50,
         "Read wait=0 | DoEvents | Status= | Weight=114.7 kg | Caption=Weight (kg):", "114.7"},
        {__LINE__, true, moving, true, 200,
         "Read wait=150 | DoEvents | Status=Scale In Motion | Weight=5 g | Caption=Weight (g):", "5"},
        {__LINE__, true, under, true, 500,
         "Read wait=450 | DoEvents | Status=Negative Weight | Weight=-2 kg | Caption=Weight (kg):", "-2"},
        // Silent scale, re-opened: the zero buffer shows again.
        {__LINE__, true, std::nullopt, true, 50,
         "Read wait=0 | DoEvents | Status= | Weight=0 | Caption=Weight ():", "0"},
        // Silent scale that cannot be opened again.
        {__LINE__, true, std::nullopt, false, 50,
         "Read wait=0 | DoEvents | Timer off | Status=Scale Not Found | Weight=", ""},
        // No scale open: no read, no message pass.
        {__LINE__, false, kg, true, 50, "Timer off | Status=Scale Not Found | Weight=", ""},
        // Rates a hand-edited file may hold.
        {__LINE__, true, kg, true, 10,
         "Read wait=0 | DoEvents | Status= | Weight=114.7 kg | Caption=Weight (kg):", "114.7"},
        {__LINE__, true, kg, true, INT32_MIN,
         "Read wait=0 | DoEvents | Status= | Weight=114.7 kg | Caption=Weight (kg):", "114.7"},
        {__LINE__, true, kg, true, INT32_MAX,
         "Read wait=450 | DoEvents | Status= | Weight=114.7 kg | Caption=Weight (kg):", "114.7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Bench bench;
        bench.state.deviceOpen = c.deviceOpen;
        bench.state.settings.SampleRate = c.sampleRate;
        bench.device.reopenSucceeds = c.reopenSucceeds;
        if (c.report) {
            bench.device.reports.push_back(*c.report);
        }
        bench.cycle.ReadWeight();
        EXPECT_EQ(Joined(bench.view.calls), c.expected);
        EXPECT_EQ(bench.state.weightText, c.weightText);
        EXPECT_FALSE(bench.cycle.Running());
    }
}

TEST(ReadWeight, KeepsTheLastReportAndSuffixWhenNothingNewArrives) {
    Bench bench;
    bench.device.reports.push_back({3, 4, 3, 0x00, 0x07, 0x00, 0, 0});  // 7 kg
    bench.cycle.ReadWeight();
    bench.device.reports.push_back({3, 4, 0, 0x00, 0x09, 0x00, 0, 0});  // 9, no unit
    bench.cycle.ReadWeight();
    EXPECT_EQ(bench.state.weightText, "9");
    EXPECT_EQ(bench.state.unitsSuffix, " kg");
    bench.view.calls.clear();
    bench.device.reopenSucceeds = false;  // the scale has gone
    bench.cycle.ReadWeight();
    EXPECT_EQ(Joined(bench.view.calls), "Read wait=0 | DoEvents | Timer off | Status=Scale Not Found | Weight=");
    EXPECT_EQ(bench.state.reportBuffer[4], 0x09);
}

TEST(ReadWeight, DropsATickThatArrivesInsideACycle) {
    Bench bench;
    bench.device.reports.push_back({3, 4, 3, 0x00, 0x01, 0x00, 0, 0});
    bench.device.reports.push_back({3, 4, 3, 0x00, 0x02, 0x00, 0, 0});
    int nested = 0;
    bench.view.onDoEvents = [&] {
        ++nested;
        bench.cycle.ReadWeight();  // ReadTimer fires while messages are processed
        EXPECT_TRUE(bench.cycle.Running());
    };
    bench.cycle.ReadWeight();
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(Joined(bench.view.calls), "Read wait=0 | DoEvents | Status= | Weight=1 kg | Caption=Weight (kg):");
    // The next regular tick reads again.
    bench.view.onDoEvents = nullptr;
    bench.cycle.ReadWeight();
    EXPECT_EQ(bench.state.weightText, "2");
}

// Before a hotkey send the reports already sent are taken without a wait and without a message
// pass (which could run the send's own hotkey again), also from inside a cycle's message pass,
// where that cycle's read is over; never inside the read itself, and never without an open scale.
TEST(TakeQueuedReports, ReadsWithoutWaitingAndShowsTheNewestReport) {
    struct Case {
        int line;
        bool deviceOpen, timerOn, fromInsideTheRead;
        const char* expected;
    };
    const Case cases[] = {
        {__LINE__, true, true, false, "Read wait=0 | Status= | Weight=6 kg | Caption=Weight (kg):"},
        {__LINE__, false, true, false, ""},
        {__LINE__, true, false, false, ""},
        {__LINE__, true, true, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Bench bench;
        bench.state.settings.SampleRate = 500;
        bench.state.deviceOpen = c.deviceOpen;
        bench.view.timerEnabled = c.timerOn;
        bench.device.reports.push_back({3, 4, 3, 0x00, 0x06, 0x00, 0, 0});  // 6 kg
        if (c.fromInsideTheRead) {
            // A read that ran the hotkey inside itself; no device read does, but none may nest.
            class NestingDevice : public IScaleDevice {
              public:
                ReadCycle* cycle = nullptr;
                void ReadInputReport(std::span<uint8_t, 8>, uint32_t) override { cycle->TakeQueuedReports(); }
                void SendZeroReport() override {}
            } nesting;
            ReadCycle cycle{bench.state, bench.view, bench.view, nesting};
            nesting.cycle = &cycle;
            cycle.ReadWeight();
            EXPECT_EQ(bench.device.reports.size(), 1U);
            continue;
        }
        bench.cycle.TakeQueuedReports();
        EXPECT_EQ(Joined(bench.view.calls), c.expected);
    }
}

TEST(TakeQueuedReports, RunsInsideACyclesMessagePass) {
    Bench bench;
    bench.device.reports.push_back({3, 4, 3, 0x00, 0x01, 0x00, 0, 0});
    bench.device.reports.push_back({3, 4, 3, 0x00, 0x02, 0x00, 0, 0});
    bench.view.onDoEvents = [&] { bench.cycle.TakeQueuedReports(); };  // the hotkey's message
    bench.cycle.ReadWeight();
    EXPECT_EQ(Joined(bench.view.calls),
              "Read wait=0 | DoEvents | Read wait=0 | Status= | Weight=2 kg | Caption=Weight (kg): | Status= | "
              "Weight=2 kg | Caption=Weight (kg):");
    EXPECT_EQ(bench.state.weightText, "2");
}

TEST(ReadWeight, LeavesTheDisplayAsARemovalDuringTheCycleLeftIt) {
    Bench bench;
    bench.device.reports.push_back({3, 4, 3, 0x00, 0x07, 0x00, 0, 0});  // 7 kg
    bench.cycle.ReadWeight();
    bench.device.reports.push_back({3, 4, 3, 0x00, 0x08, 0x00, 0, 0});
    bench.view.calls.clear();
    bench.view.onDoEvents = [&] {  // the removal notice of the selected scale
        bench.view.SetTimerEnabled(false);
        bench.view.SetWeightBox("");
    };
    bench.cycle.ReadWeight();
    EXPECT_EQ(Joined(bench.view.calls), "Read wait=0 | DoEvents | Timer off | Weight=");
    EXPECT_EQ(bench.state.weightText, "7");  // what the hotkey would type is not refreshed either
    EXPECT_FALSE(bench.cycle.Running());
}

TEST(ReadWeight, UsesSettingsChangedWhileMessagesWereProcessed) {
    Bench bench;
    bench.device.reports.push_back({3, 4, 3, 0xFF, 0x0F, 0x00, 0, 0});  // 1.5 kg
    bench.state.settings.WeightFormat = "0.00";
    bench.cycle.ReadWeight();
    EXPECT_EQ(bench.state.weightText, "1.50");
    bench.view.onDoEvents = [&] {
        bench.state.settings.WeightFormat = "0.000";
        bench.state.settings.SelectedUnits = 2;
    };
    bench.cycle.ReadWeight();
    EXPECT_EQ(bench.state.weightText, "1500.000");
    EXPECT_EQ(bench.state.unitsSuffix, " g");
}

TEST(ReadWeight, RecoversTheFlagWhenACycleThrows) {
    Bench bench;
    bench.device.reports.push_back({3, 4, 3, 0x00, 0x01, 0x00, 0, 0});
    bench.view.onDoEvents = [] { throw std::runtime_error("handler failed"); };
    EXPECT_THROW(bench.cycle.ReadWeight(), std::runtime_error);
    EXPECT_FALSE(bench.cycle.Running());
}

TEST(ZeroButton_Click, SendsTheZeroReportOnlyForAnOpenSelectedScale) {
    struct Case {
        int line;
        bool deviceOpen;
        int listIndex;
        size_t rows;
        int zeroReports;
    };
    const Case cases[] = {
        {__LINE__, true, 0, 1, 1},  {__LINE__, true, 1, 2, 1}, {__LINE__, false, 0, 1, 0},
        {__LINE__, true, -1, 1, 0}, {__LINE__, true, 0, 0, 0},  // the list was refreshed without the scale
        {__LINE__, true, 1, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Bench bench;
        bench.state.deviceOpen = c.deviceOpen;
        bench.state.scaleTable.resize(c.rows);
        bench.view.listIndex = c.listIndex;
        ZeroButton_Click(bench.state, bench.view.listIndex, bench.device);
        EXPECT_EQ(bench.device.zeroReports, c.zeroReports);
    }
}

}  // namespace
}  // namespace weighing

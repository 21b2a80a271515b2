#include "devices/ScaleSelection.h"

#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <string>
#include <vector>

#include "devices/NewestReport.h"
#include "devices/tests/Fakes.h"

namespace devices {
namespace {

using testing::Log;
using Buffer = std::array<uint8_t, 8>;
using Records = std::vector<base::ScaleDeviceRecord>;
using Report = std::vector<uint8_t>;
constexpr Buffer kOld{9, 9, 9, 9, 9, 9, 9, 9};

// The main window's state and views over scripted devices.
struct Rig : testing::SelectionRig {
    explicit Rig(std::set<std::string> present = {"PA"}) { port.present = std::move(present); }
    // Lists `table` and clicks its first row, as a user choosing a scale.
    void Click(Records table = {{"PA", "A"}}) {
        state.scaleTable = std::move(table);
        view.rows.clear();
        for (const base::ScaleDeviceRecord& r : state.scaleTable) {
            view.rows.push_back(r.displayName);
        }
        Click(0);
    }
    void Click(int row) {
        view.index = row;
        selection.ScaleList_Click();
    }
    Buffer Read(Buffer buffer = kOld, uint32_t waitMs = 0) {
        selection.ReadInputReport(buffer, waitMs);
        return buffer;
    }
    // The list with its selected row; then the remembered scale and whether it is open.
    std::string Rows() const {
        std::string s;
        for (const std::string& row : view.rows) {
            s += row + ",";
        }
        return s + " row=" + std::to_string(view.index);
    }
    std::string Summary() const {
        return Rows() + " " + state.settings.SelectedScale + (state.deviceOpen ? " open" : "") +
               " handles=" + std::to_string(port.openHandles);
    }
};

TEST(IsScaleCandidate, DropsKeyboardsTouchDevicesAndUnnamedPaths) {
    const std::pair<const char*, bool> cases[] = {{"USB Postal Scale (HIDClass)", true},
                                                  {"Wireless keyBOARD receiver", false},
                                                  {"Touchpad", false},
                                                  {R"(\\?\hid#vid_ffff)", false},
                                                  {R"(\\.\HID scale)", true},
                                                  {"KEYB OARD", true}};
    for (const auto& [name, kept] : cases) {
        EXPECT_EQ(IsScaleCandidate(name), kept) << name;
    }
}

TEST(ScaleSelection, RefreshListsFiltersAndReselects) {
    const base::ScaleDeviceRecord a{"PA", "A"}, b{"PB", "B"}, keyboard{"PK", "Keyboard"};
    const struct {
        std::optional<Records> found;
        std::string selected;
        std::string summary;
    } cases[] = {
        {Records{a, keyboard, b}, "PB", "|A,B, row=1 PB open handles=1"},
        {Records{a, b}, "", "|A,B, row=-1  handles=0"},
        {Records{a}, "pa", "|A, row=0 pa open handles=1"},                       // a path in any case
        {Records{a, {"PA", "Twin"}}, "PA", "|A,Twin, row=1 PA open handles=1"},  // the last wins
        {Records{keyboard}, "PA", "No USB HID Scales Found| row=-1 PA handles=0"},
        {std::nullopt, "PA", "No USB HID Scales Found| row=-1 PA handles=0"},
        {Records{{"PGONE", "Gone"}}, "PGONE", "|Gone, row=0 PGONE handles=0"},  // cannot open
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        Rig r({"PA", "PB"});
        r.state.settings.SelectedScale = c.selected;
        r.view.found = c.found;
        r.selection.RefreshButton_Click();
        EXPECT_EQ(r.view.status + "|" + r.Summary(), c.summary);
        EXPECT_EQ(r.state.scaleTable.size(), r.view.rows.size());
    }
}

// A device reported removed may still be enumerated for a moment; it is neither listed nor
// reopened until it arrives again.
TEST(ScaleSelection, RefreshLeavesOutDevicesReportedRemoved) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"pa", "", "|B, row=-1"},  // the notification's spelling of the same path
        {"PB", "", "|A, row=0"},
        {"PA", "pa", "|A,B, row=0"}};
    for (const auto& [removed, arrived, rows] : cases) {
        Rig r({"PA", "PB"});
        r.state.settings.SelectedScale = "PA";
        r.view.found = Records{{"PA", "A"}, {"PB", "B"}};
        r.selection.DeviceRemoved(removed);
        r.selection.DeviceArrived(arrived);
        r.selection.RefreshButton_Click();
        EXPECT_EQ(r.view.status + "|" + r.Rows(), rows) << removed;
    }
}

// Once the enumeration no longer reports a removed device, it is forgotten: when it is back
// in the list later (a missed arrival), it is listed again.
TEST(ScaleSelection, RemovedDeviceIsForgottenOnceNoLongerEnumerated) {
    Rig r;
    r.selection.DeviceRemoved("PA");
    for (const Records& found : {Records{{"PA", "A"}, {"PB", "B"}}, Records{{"PB", "B"}}, Records{{"PA", "A"}}}) {
        r.view.found = found;
        r.selection.RefreshButton_Click();
    }
    EXPECT_EQ(r.view.rows, (std::vector<std::string>{"A"}));
}

TEST(ScaleSelection, RefreshWithoutScalesKeepsTheTableAndTheReading) {
    Rig r;
    r.state.settings.SelectedScale = "PA";
    r.view.found = Records{{"PA", "Scale"}};
    r.selection.RefreshButton_Click();
    r.log.clear();
    r.view.found = Records{};
    r.selection.RefreshButton_Click();
    EXPECT_EQ(r.log, "enumerate; clear list; status=No USB HID Scales Found; ");
    EXPECT_EQ(r.state.scaleTable, (Records{{"PA", "Scale"}}));
    EXPECT_EQ(r.Summary(), " row=-1 PA open handles=1");
}

// Each click starts over from a scale already open on row 0.
TEST(ScaleSelection, ClickClosesTheOldHandleAndRemembersOnlyWhatOpened) {
    const struct {
        std::vector<std::string> rows;
        int row;
        std::string expected;  // the steps, then the outcome
    } cases[] = {
        {{"A", "B"}, 1, "weight=; timer on; close; open PB; ask 3/8; A,B, row=1 PB open handles=1"},
        {{"A", "B", "Gone"}, 2, "weight=; timer on; close; open PGONE; A,B,Gone, row=2 PA handles=0"},
        {{"A", "B"}, -1, "weight=; timer on; A,B, row=-1 PA handles=1"},
        {{}, 0, "weight=; timer on;  row=0 PA handles=1"},
        {{"A", "B", "Gone", "X"}, 3, "weight=; timer on; A,B,Gone,X, row=3 PA handles=1"},  // no record
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        Rig r({"PA", "PB"});
        r.Click({{"PA", "A"}, {"PB", "B"}});
        r.log.clear();
        r.state.scaleTable.push_back({"PGONE", "Gone"});
        r.view.rows = c.rows;
        r.Click(c.row);
        EXPECT_EQ(r.log + r.Summary(), c.expected);
    }
}

TEST(ScaleSelection, ReadCopiesOnlyWhatArrived) {
    const struct {
        std::optional<Report> report;
        Buffer expected;
        int opens;  // of the scale in all, the first included
    } cases[] = {
        {Report{3, 4, 11, 0xFF, 0x10, 0x27, 0, 0}, {3, 4, 11, 0xFF, 0x10, 0x27, 0, 0}, 1},
        {Report{3, 2, 12, 0, 0x64, 0}, {3, 2, 12, 0, 0x64, 0, 9, 9}, 1},        // a 6-byte report
        {Report{0xFF, 2, 12, 0, 0x64, 0}, {0xFE, 2, 12, 0, 0x64, 0, 9, 9}, 1},  // not a wide report
        {Report(9, 1), kOld, 2},  // longer than asked for: the read fails, re-open
        {std::nullopt, kOld, 1},  // nothing within the wait: the handle stays
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        Rig r;
        r.Click();
        r.port.reads.push_back(c.report);
        Buffer buffer = kOld;
        r.selection.ReadInputReport(buffer);
        EXPECT_EQ(buffer, c.expected);
        EXPECT_TRUE(r.state.deviceOpen);
        EXPECT_EQ(r.port.openHandles, 1);
        EXPECT_EQ(r.port.opens, c.opens);
    }
}

// A time-out used to close the handle and open the scale again every tick; a report that came
// while it was closed never reached the display.
TEST(ScaleSelection, ReadTimeoutKeepsTheHandleAndTheRunningRead) {
    Rig r;
    r.state.settings.SampleRate = 300;
    r.Click();
    r.log.clear();
    Buffer buffer{};
    r.selection.ReadInputReport(buffer);
    r.selection.ReadInputReport(buffer, 120);  // the read cycle's own wait wins over SampleRate
    EXPECT_EQ(r.log, "read 8; wait 250; wait 120; ");
    r.port.reads.push_back(Report{3, 4, 2, 0, 42, 0});  // completes that same read
    EXPECT_EQ(r.Read()[4], 42);
    EXPECT_EQ(r.port.opens, 1);
}

// A scale that sends faster than the read cycle fills the handle's queue: the cycle must show
// the newest report, not the oldest, and keep a read running once the queue is empty; a queue
// that never runs dry cannot hold the cycle.
TEST(ScaleSelection, ReadTakesTheNewestOfABoundedQueue) {
    for (const int queued : {3, 1000}) {
        SCOPED_TRACE(queued);
        Rig r;
        r.Click();
        for (int i = 1; i <= queued; ++i) {
            r.port.reads.push_back(Report{3, 4, 2, 0, static_cast<uint8_t>(i), 0});
        }
        const int taken = std::min(queued, HidInterface::kMaxQueuedReports + 1);
        EXPECT_EQ(r.Read(), (Buffer{3, 4, 2, 0, static_cast<uint8_t>(taken), 0, 9, 9}));
        EXPECT_EQ(r.port.reads.size(), static_cast<size_t>(queued - taken));
        EXPECT_TRUE(r.port.ReadRunning());
        EXPECT_EQ(r.Summary(), "A, row=0 PA open handles=1");
    }
}

TEST(ScaleSelection, FailedReadOnAVanishedScaleLeavesItClosed) {
    Rig r;
    r.Click();
    r.Read();  // a read is running when the scale goes
    r.port.present.clear();
    r.log.clear();
    r.Read();
    EXPECT_EQ(r.log, "wait 0; cancel; close; weight=; timer on; open PA; ");
    EXPECT_EQ(r.Summary(), "A, row=0 PA handles=0");
}

// A scale that reports only on change sends nothing about the weight already on it; it is asked
// when it is opened, and again after a silent spell. A scale that refuses is read as before. An
// answer that comes after the open is delivered by the read after it.
TEST(ScaleSelection, CurrentReportIsAskedForAtOpenAndAfterSilence) {
    const Buffer parcel{3, 4, 2, 0, 0xE2, 0x04, 9, 9};
    const struct {
        std::optional<Report> answer;
        uint64_t silentMs;
        Buffer afterOpen, afterSilence;
        bool askedAgain, answerLate = false;
    } cases[] = {
        {Report{3, 4, 2, 0, 0xE2, 0x04}, HidInterface::kSilenceAskMs - 1, parcel, kOld, false},
        {Report{3, 4, 2, 0, 0xE2, 0x04}, HidInterface::kSilenceAskMs, parcel, parcel, true},
        {std::nullopt, HidInterface::kSilenceAskMs, kOld, kOld, true},
        {Report{3, 4, 2, 0, 0xE2, 0x04}, HidInterface::kSilenceAskMs - 1, kOld, parcel, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        Rig r;
        r.port.currentReport = c.answer;
        r.port.answerIn = !c.answerLate;
        r.Click();
        EXPECT_EQ(r.Read(), c.afterOpen);
        r.port.answerIn = true;
        r.port.now += c.silentMs;
        EXPECT_EQ(r.Read(), c.afterSilence);
        EXPECT_EQ(r.log.find("ask", r.log.find("ask") + 1) != std::string::npos, c.askedAgain);
        EXPECT_EQ(r.port.opens, 1);
    }
}

// The scale's own reports arrive after the answer to the question asked at open: they are newer.
// The question after a silence carries the report ID the scale's own reports carry.
TEST(ScaleSelection, OwnReportsWinOverTheAnswerAndSetTheAskedId) {
    Rig r;
    r.port.currentReport = Report{3, 4, 2, 0, 10, 0};
    r.Click();
    r.port.reads.push_back(Report{7, 4, 2, 0, 11, 0});
    EXPECT_EQ(r.Read()[4], 11);
    r.log.clear();
    r.port.now += HidInterface::kSilenceAskMs;
    r.Read();
    EXPECT_EQ(r.log, "wait 0; ask 7/8; ");
}

// A report that completes the running read while it is being cancelled (a new selection of the
// same scale) is the scale's newest weight: it is shown, not dropped. Another scale's is not.
TEST(ScaleSelection, ReportCompletingDuringTheCancelIsKeptForTheSameScale) {
    for (const int reselect : {0, 1}) {
        SCOPED_TRACE(reselect);
        Rig r({"PA", "PB"});
        r.Click({{"PA", "A"}, {"PB", "B"}});
        r.Read();  // leaves a read running
        r.port.completesOnCancel = Report{3, 4, 2, 0, 55, 0};
        r.view.index = reselect;
        r.selection.ScaleList_Click();
        EXPECT_EQ(r.Read()[4], reselect == 0 ? 55 : 9);
    }
}

TEST(ScaleSelection, ZeroReportGoesToTheSelectedRowThroughASecondHandle) {
    for (const int row : {-1, 0, 1}) {
        SCOPED_TRACE(row);
        Rig r;
        r.Click();
        r.Read();  // a read is running
        r.log.clear();
        r.view.index = row;
        r.selection.SendZeroReport();
        EXPECT_EQ(r.log, row == 0 ? "write PA; " : "");
        EXPECT_TRUE(r.port.ReadRunning());
    }
    Rig r;  // the zero goes to the row even with no scale open
    r.state.scaleTable = {{"PA", "A"}};
    r.view.rows = {"A"};
    r.view.index = 0;
    r.selection.SendZeroReport();
    EXPECT_EQ(r.port.written, (std::vector<Report>{{2, 2, 0, 0, 0}}));
    EXPECT_EQ(r.log, "write PA; ");
}

// The serial side as the selection sees it: scripted outcomes, every call logged.
class FakeSerial final : public IChosenScale, public IScaleEnumerator {
  public:
    explicit FakeSerial(Log& log) : _log(log) {}
    Records ports;
    std::deque<ReadOutcome> outcomes;
    bool Open(std::string_view path) override {
        _log += "serial open " + std::string(path) + "; ";
        return true;
    }
    ReadOutcome ReadNewest(std::span<uint8_t> dest, uint32_t) override {
        const ReadOutcome next = outcomes.empty() ? ReadOutcome::NoReport : outcomes.front();
        if (!outcomes.empty()) {
            outcomes.pop_front();
        }
        if (next == ReadOutcome::Report) {
            std::fill(dest.begin(), dest.end(), uint8_t{7});
        }
        return next;
    }
    void Zero(std::string_view) override { _log += "serial zero; "; }
    void Close() override { _log += "serial close; "; }
    bool CanZero() const override { return false; }
    std::optional<Records> Enumerate() override { return ports; }

  private:
    Log& _log;
};

struct SerialRig : Rig {
    FakeSerial serial{log};
    ScaleSelection both{state, view, view, view, view, port, &serial, &serial};
    void Refresh(Records hid, Records ports) {
        view.found = std::move(hid);
        serial.ports = std::move(ports);
        both.RefreshButton_Click();
    }
};

// Serial ports come after the HID rows and are never dropped by the HID name filter; a port
// path opens the serial side only, and a port that leaves the list has its worker stopped.
TEST(ScaleSelection, SerialPortsAreListedAfterHidScalesAndReadOnTheirOwnSide) {
    SerialRig r;
    r.state.settings.SelectedScale = R"(\\.\com5)";
    r.Refresh({{"PA", "A"}}, {{R"(\\.\COM5)", "COM5: Touch panel link"}});
    EXPECT_EQ(r.Summary(), R"(A,COM5: Touch panel link, row=1 \\.\com5 open handles=0)");
    EXPECT_FALSE(r.both.CanZero());
    r.both.SendZeroReport();
    r.Refresh({{"PA", "A"}}, {});
    EXPECT_FALSE(r.state.deviceOpen);
    r.view.index = 0;
    r.both.ScaleList_Click();
    EXPECT_EQ(r.log.substr(r.log.find("enumerate")),
              R"(enumerate; clear list; status=; select 1; weight=; timer on; serial open \\.\COM5; )"
              "serial zero; enumerate; clear list; status=; serial close; weight=; timer on; serial close; open PA; "
              "ask 3/8; ");
    EXPECT_TRUE(r.state.deviceOpen && r.both.CanZero());
}

// A port that goes away is an unplugged scale: no weight to show, serve or type, until its
// next report.
TEST(ScaleSelection, SerialPortGoneReadsAsUnpluggedUntilItReportsAgain) {
    SerialRig r;
    r.state.settings.SelectedScale = R"(\\.\COM5)";
    r.Refresh({}, {{R"(\\.\COM5)", "COM5"}});
    r.serial.outcomes = {ReadOutcome::Report, ReadOutcome::Gone, ReadOutcome::NoReport, ReadOutcome::Report};
    const auto read = [&] {
        r.both.ReadInputReport(r.state.reportBuffer, 0);
        return std::to_string(r.state.reportBuffer[0]) + (r.state.HasWeight() ? " weight" : " none") +
               (r.state.sendSuppressed ? " silent" : "");
    };
    r.state.weightText = "1.25";
    EXPECT_EQ(read(), "7 weight");
    EXPECT_EQ(read(), "0 none silent");
    EXPECT_EQ(r.state.weightText, "");
    EXPECT_EQ(read(), "0 none silent");
    EXPECT_EQ(read(), "7 weight");
}

// What the reader hands the window. A repeat wrongly seen as new wakes the window for nothing; a
// change wrongly seen as a repeat freezes the weight; a report that is not the newest shows a
// weight the scale no longer holds.
TEST(NewestReport, HandsTheWindowOnlyTheNewestChange) {
    const Report a{3, 4, 12, 0xFF, 0x10, 0x02};
    const Report b{3, 2, 12, 0xFF, 0x10, 0x02};  // status changed, weight alike
    const Report c{3, 4, 12, 0xFF, 0x11, 0x02};
    using Change = NewestReport::Change;
    struct Step {
        char op;  // 'o' offer, 't' take (expecting `report`, or nothing when empty), 'f' forget
        Report report;
        Change change = Change::None;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"first report", {{'o', a, Change::Waiting}, {'t', a}}},
        {"repeat of the taken", {{'o', a, Change::Waiting}, {'t', a}, {'o', a}, {'t', {}}}},
        {"status alone changed", {{'o', a, Change::Waiting}, {'t', a}, {'o', b, Change::Waiting}, {'t', b}}},
        {"shorter", {{'o', a, Change::Waiting}, {'t', a}, {'o', {3, 4, 12, 0xFF, 0x10}, Change::Waiting}}},
        {"longer", {{'o', a, Change::Waiting}, {'t', a}, {'o', {3, 4, 12, 0xFF, 0x10, 0x02, 0}, Change::Waiting}}},
        {"newest wins", {{'o', b, Change::Waiting}, {'o', c}, {'o', c}, {'t', c}, {'t', {}}}},
        {"change undone before taken",
         {{'o', a, Change::Waiting}, {'t', a}, {'o', b, Change::Waiting}, {'o', a, Change::Withdrawn}, {'t', {}}}},
        {"undone, then changed again",
         {{'o', a, Change::Waiting},
          {'t', a},
          {'o', b, Change::Waiting},
          {'o', a, Change::Withdrawn},
          {'o', c, Change::Waiting},
          {'t', c}}},
        {"opened again", {{'o', a, Change::Waiting}, {'t', a}, {'f', {}}, {'o', a, Change::Waiting}, {'t', a}}},
        {"forgotten while waiting", {{'o', b, Change::Waiting}, {'f', {}}, {'t', {}}}},
    };
    for (const Case& c : cases) {
        NewestReport newest;
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const Step& step = c.steps[i];
            if (step.op == 'o') {
                EXPECT_EQ(newest.Offer(step.report), step.change) << c.name << ", step " << i;
            } else if (step.op == 'f') {
                newest.Forget();
            } else {
                std::array<uint8_t, 8> dest{};
                const std::optional<size_t> taken = newest.Take(dest);
                const Report got =
                    taken ? Report(dest.begin(), dest.begin() + static_cast<ptrdiff_t>(*taken)) : Report{};
                EXPECT_EQ(got, step.report) << c.name << ", step " << i;
                EXPECT_EQ(taken.has_value(), !step.report.empty()) << c.name << ", step " << i;
            }
        }
    }
}

}  // namespace
}  // namespace devices

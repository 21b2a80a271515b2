#include "devices/ScaleSelection.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "devices/tests/Fakes.h"

namespace devices {
namespace {

using testing::FakeEnumerator;
using testing::FakeHidPort;
using testing::FakeView;
using testing::Log;

struct FilterCase {
    int line;
    std::string displayName;
    bool kept;
};

TEST(IsScaleCandidate, DropsKeyboardsTouchDevicesAndUnnamedPaths) {
    const FilterCase cases[] = {
        {__LINE__, "USB Postal Scale (HIDClass)", true},
        {__LINE__, "HID-compliant mouse (HIDClass)", true},
        {__LINE__, "HID Keyboard Device (Keyboard)", false},
        {__LINE__, "Wireless keyBOARD receiver", false},
        {__LINE__, "HID-compliant touch screen (HIDClass)", false},
        {__LINE__, "Touchpad", false},
        {__LINE__, R"(\\?\HID#VID_FFFF&PID_0001#6&77&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})", false},
        {__LINE__, R"(\\?\hid#vid_ffff)", false},  // upper-cased before the search
        {__LINE__, R"(\\.\HID scale)", true},
        {__LINE__, "", true},
        {__LINE__, "KEYB OARD", true},
    };
    for (const FilterCase& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(IsScaleCandidate(c.displayName), c.kept);
    }
}

class ScaleSelectionTest : public ::testing::Test {
  protected:
    Log log;
    base::AppState state;
    FakeView view{log};
    FakeEnumerator enumerator{log};
    FakeHidPort port{log};
    ScaleSelection selection{state, view, view, view, enumerator, port};
};

struct RefreshCase {
    int line;
    std::optional<std::vector<base::ScaleDeviceRecord>> found;
    std::string selectedScale;
    std::vector<std::string> rows;
    std::string status;
    int selectedRow;
    std::string selectedAfter;  // SelectedScale afterwards
    bool deviceOpen;
};

TEST_F(ScaleSelectionTest, RefreshButtonClickListsFiltersAndReselects) {
    const base::ScaleDeviceRecord scaleA{"PA", "Scale (HIDClass)"};
    const base::ScaleDeviceRecord scaleB{"PB", "Scale (HIDClass) [2]"};
    const base::ScaleDeviceRecord keyboard{"PK", "Keyboard (Keyboard)"};
    const base::ScaleDeviceRecord unnamed{R"(\\?\HID#X)", R"(\\?\HID#X)"};
    const RefreshCase cases[] = {
        {__LINE__,
         std::vector{scaleA, keyboard, scaleB},
         "PB",
         {scaleA.displayName, scaleB.displayName},
         "",
         1,
         "PB",
         true},
        {__LINE__, std::vector{scaleA, scaleB}, "", {scaleA.displayName, scaleB.displayName}, "", -1, "", false},
        {__LINE__, std::vector{scaleA}, "pa", {scaleA.displayName}, "", 0, "pa", true},  // case does not matter
        {__LINE__,
         std::vector{scaleA, base::ScaleDeviceRecord{"PA", "Same path"}},
         "PA",
         {scaleA.displayName, "Same path"},
         "",
         1,
         "PA",
         true},  // the last match wins
        {__LINE__, std::vector{keyboard, unnamed}, "PA", {}, "No USB HID Scales Found", -1, "PA", false},
        {__LINE__, std::nullopt, "PA", {}, "No USB HID Scales Found", -1, "PA", false},
        {__LINE__, std::vector<base::ScaleDeviceRecord>{}, "PA", {}, "No USB HID Scales Found", -1, "PA", false},
        {__LINE__,
         std::vector{base::ScaleDeviceRecord{"PGONE", "Gone (HIDClass)"}},
         "PGONE",
         {"Gone (HIDClass)"},
         "",
         0,
         "PGONE",
         false},  // listed, but vanished before the open
    };
    for (const RefreshCase& c : cases) {
        SCOPED_TRACE(c.line);
        Log log;
        base::AppState state;
        FakeView view{log};
        FakeEnumerator enumerator{log};
        FakeHidPort port{log};
        port.present = {"PA", "PB"};
        ScaleSelection selection{state, view, view, view, enumerator, port};
        state.settings.SelectedScale = c.selectedScale;
        enumerator.result = c.found;

        selection.RefreshButton_Click();

        EXPECT_EQ(view.rows, c.rows);
        EXPECT_EQ(view.status, c.status);
        EXPECT_EQ(view.index, c.selectedRow);
        EXPECT_EQ(state.settings.SelectedScale, c.selectedAfter);
        EXPECT_EQ(state.deviceOpen, c.deviceOpen);
        EXPECT_EQ(port.openHandles, c.deviceOpen ? 1 : 0);
        if (!c.rows.empty()) {
            ASSERT_EQ(state.scaleTable.size(), c.rows.size());
            for (size_t i = 0; i < c.rows.size(); ++i) {
                EXPECT_EQ(state.scaleTable[i].displayName, c.rows[i]);
            }
        }
    }
}

struct RemovedCase {
    int line;
    std::vector<std::string> removed;  // reported removed, in order
    std::vector<std::string> arrived;  // then reported arrived
    std::vector<std::string> rows;
    int selectedRow;
};

// A device reported removed may still be enumerated for a moment; it is neither listed nor
// reopened until it arrives again.
TEST_F(ScaleSelectionTest, RefreshLeavesOutDevicesReportedRemoved) {
    const std::string pathA = R"(\\?\HID#VID_0922&PID_8003#A1#{4d1e55b2})";
    const std::string pathB = R"(\\?\HID#VID_0922&PID_8003#B1#{4d1e55b2})";
    const std::string lowerA = R"(\\?\HID#VID_0922&PID_8003#a1#{4d1e55b2})";
    const RemovedCase cases[] = {
        {__LINE__, {}, {}, {"A", "B"}, 0},
        {__LINE__, {pathA}, {}, {"B"}, -1},
        {__LINE__, {lowerA}, {}, {"B"}, -1},  // the notification's spelling of the same path
        {__LINE__, {pathB}, {}, {"A"}, 0},
        {__LINE__, {pathA}, {lowerA}, {"A", "B"}, 0},
        {__LINE__, {pathA, pathA}, {pathA}, {"A", "B"}, 0},  // reported twice, back once
        {__LINE__, {pathA, pathB}, {}, {}, -1},
        {__LINE__, {""}, {}, {"A", "B"}, 0},
    };
    for (const RemovedCase& c : cases) {
        SCOPED_TRACE(c.line);
        Log log;
        base::AppState state;
        FakeView view{log};
        FakeEnumerator enumerator{log};
        FakeHidPort port{log};
        port.present = {pathB};  // A is gone: opening it fails
        ScaleSelection selection{state, view, view, view, enumerator, port};
        state.settings.SelectedScale = pathA;
        enumerator.result = std::vector<base::ScaleDeviceRecord>{{pathA, "A"}, {pathB, "B"}};
        for (const std::string& path : c.removed) {
            selection.DeviceRemoved(path);
        }
        for (const std::string& path : c.arrived) {
            selection.DeviceArrived(path);
        }

        selection.RefreshButton_Click();

        EXPECT_EQ(view.rows, c.rows);
        EXPECT_EQ(view.index, c.selectedRow);
        EXPECT_EQ(view.status, c.rows.empty() ? "No USB HID Scales Found" : "");
    }
}

// Once the enumeration no longer reports a removed device, it is forgotten: when it is back
// in the list later (a missed arrival), it is listed again.
TEST_F(ScaleSelectionTest, RemovedDeviceIsForgottenOnceNoLongerEnumerated) {
    port.present = {"PA"};
    selection.DeviceRemoved("PA");
    enumerator.result = std::vector<base::ScaleDeviceRecord>{{"PA", "A"}, {"PB", "B"}};
    selection.RefreshButton_Click();
    EXPECT_EQ(view.rows, (std::vector<std::string>{"B"}));

    enumerator.result = std::vector<base::ScaleDeviceRecord>{{"PB", "B"}};
    selection.RefreshButton_Click();
    enumerator.result = std::vector<base::ScaleDeviceRecord>{{"PA", "A"}, {"PB", "B"}};
    selection.RefreshButton_Click();
    EXPECT_EQ(view.rows, (std::vector<std::string>{"A", "B"}));
}

TEST_F(ScaleSelectionTest, RefreshWithoutScalesKeepsTheTableAndTheReading) {
    port.present = {"PA"};
    enumerator.result = std::vector<base::ScaleDeviceRecord>{{"PA", "Scale"}};
    state.settings.SelectedScale = "PA";
    selection.RefreshButton_Click();
    ASSERT_TRUE(state.deviceOpen);
    log.clear();

    enumerator.result = std::nullopt;
    selection.RefreshButton_Click();

    EXPECT_EQ(log, (Log{"enumerate", "clear list", "status=No USB HID Scales Found"}));
    EXPECT_EQ(state.scaleTable, (std::vector<base::ScaleDeviceRecord>{{"PA", "Scale"}}));
    EXPECT_TRUE(state.deviceOpen);
    EXPECT_EQ(port.openPath, "PA");
}

TEST_F(ScaleSelectionTest, ScaleListClickClearsOpensAndRemembersInOrder) {
    port.present = {"PA", "PB"};
    state.scaleTable = {{"PA", "A"}, {"PB", "B"}};
    view.rows = {"A", "B"};
    view.index = 0;
    selection.ScaleList_Click();
    ASSERT_EQ(state.settings.SelectedScale, "PA");
    log.clear();

    view.index = 1;
    selection.ScaleList_Click();

    EXPECT_EQ(log, (Log{"weight=", "timer on", "close", "open PB", "ask 3/8"}));
    EXPECT_EQ(state.settings.SelectedScale, "PB");
    EXPECT_TRUE(state.deviceOpen);
    EXPECT_EQ(port.openHandles, 1);
}

struct ClickCase {
    int line;
    std::vector<std::string> rows;
    int index;
    bool opened;
    Log expectedLog;
};

TEST_F(ScaleSelectionTest, ScaleListClickWithoutAnOpenableRowLeavesTheScaleClosed) {
    const ClickCase cases[] = {
        {__LINE__, {}, -1, false, {"weight=", "timer on"}},
        {__LINE__, {"A", "Gone"}, -1, false, {"weight=", "timer on"}},
        {__LINE__, {"A", "Gone"}, 1, false, {"weight=", "timer on", "open PGONE"}},
        {__LINE__, {"A", "Gone", "Extra row"}, 2, false, {"weight=", "timer on"}},  // row without a record
        {__LINE__, {"A", "Gone"}, 0, true, {"weight=", "timer on", "open PA", "ask 3/8"}},
    };
    for (const ClickCase& c : cases) {
        SCOPED_TRACE(c.line);
        Log log;
        base::AppState state;
        FakeView view{log};
        FakeEnumerator enumerator{log};
        FakeHidPort port{log};
        port.present = {"PA"};
        ScaleSelection selection{state, view, view, view, enumerator, port};
        state.scaleTable = {{"PA", "A"}, {"PGONE", "Gone"}};
        state.settings.SelectedScale = "previous";
        state.deviceOpen = true;
        view.rows = c.rows;
        view.index = c.index;

        selection.ScaleList_Click();

        EXPECT_EQ(log, c.expectedLog);
        EXPECT_EQ(state.deviceOpen, c.opened);
        EXPECT_EQ(state.settings.SelectedScale, c.opened ? "PA" : "previous");
        EXPECT_TRUE(view.timer);
        EXPECT_EQ(view.weight, "");
    }
}

struct ReadCase {
    int line;
    std::optional<std::vector<uint8_t>> report;
    std::array<uint8_t, 8> expected;
    int opens;  // opens of the scale in all, the first included
};

TEST_F(ScaleSelectionTest, ReadInputReportCopiesOnlyWhatArrived) {
    const std::array<uint8_t, 8> old{9, 9, 9, 9, 9, 9, 9, 9};
    const ReadCase cases[] = {
        {__LINE__, std::vector<uint8_t>{3, 4, 11, 0xFF, 0x10, 0x27, 0, 0}, {3, 4, 11, 0xFF, 0x10, 0x27, 0, 0}, 1},
        {__LINE__, std::vector<uint8_t>{3, 2, 12, 0, 0x64, 0}, {3, 2, 12, 0, 0x64, 0, 9, 9}, 1},  // a 6-byte report
        {__LINE__, std::vector<uint8_t>{}, old, 1},
        {__LINE__, std::vector<uint8_t>(9, 1), old, 2},  // longer than asked for: the read fails, re-open
        {__LINE__, std::nullopt, old, 1},                // nothing within the wait: the handle stays
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.line);
        Log log;
        base::AppState state;
        FakeView view{log};
        FakeEnumerator enumerator{log};
        FakeHidPort port{log};
        port.present = {"PA"};
        ScaleSelection selection{state, view, view, view, enumerator, port};
        state.scaleTable = {{"PA", "A"}};
        view.rows = {"A"};
        view.index = 0;
        selection.ScaleList_Click();
        port.reads.push_back(c.report);
        std::array<uint8_t, 8> buffer = old;

        selection.ReadInputReport(buffer);

        EXPECT_EQ(buffer, c.expected);
        EXPECT_TRUE(state.deviceOpen);
        EXPECT_EQ(port.openHandles, 1);
        EXPECT_EQ(port.opens, c.opens);
    }
}

// A time-out used to close the handle and open the scale again every tick; a report that came
// while it was closed never reached the display.
TEST_F(ScaleSelectionTest, ReadTimeoutKeepsTheHandleAndTheRunningRead) {
    port.present = {"PA"};
    state.scaleTable = {{"PA", "A"}};
    view.rows = {"A"};
    view.index = 0;
    state.settings.SampleRate = 300;
    selection.ScaleList_Click();
    log.clear();
    std::array<uint8_t, 8> buffer{};

    selection.ReadInputReport(buffer);
    selection.ReadInputReport(buffer, 120);  // the read cycle's own wait wins over SampleRate

    EXPECT_EQ(log, (Log{"read 8", "wait 250", "wait 120"}));  // one read, waited for twice
    EXPECT_EQ(port.opens, 1);

    // The report the scale sends meanwhile completes that same read.
    port.reads.push_back(std::vector<uint8_t>{3, 4, 2, 0, 42, 0});
    selection.ReadInputReport(buffer, 0);
    EXPECT_EQ(buffer[4], 42);
    EXPECT_EQ(port.opens, 1);
}

// A scale that sends faster than the read cycle fills the handle's queue: the cycle must show
// the newest report, not the oldest, and keep a read running once the queue is empty.
TEST_F(ScaleSelectionTest, ReadTakesTheNewestOfTheQueuedReports) {
    port.present = {"PA"};
    state.scaleTable = {{"PA", "A"}};
    view.rows = {"A"};
    view.index = 0;
    selection.ScaleList_Click();
    for (uint8_t w : {10, 20, 30}) {
        port.reads.push_back(std::vector<uint8_t>{3, 4, 2, 0, w, 0});
    }
    log.clear();
    std::array<uint8_t, 8> buffer{9, 9, 9, 9, 9, 9, 9, 9};

    selection.ReadInputReport(buffer, 0);

    EXPECT_EQ(buffer, (std::array<uint8_t, 8>{3, 4, 2, 0, 30, 0, 9, 9}));
    EXPECT_EQ(log, (Log{"read 8", "wait 0", "read 8", "wait 0", "read 8", "wait 0", "read 8", "wait 0"}));
    EXPECT_TRUE(port.ReadRunning());
    EXPECT_TRUE(state.deviceOpen);
    EXPECT_EQ(port.openPath, "PA");
}

// A device that never runs dry (or a driver that keeps answering) cannot hold the cycle.
TEST_F(ScaleSelectionTest, ReadOfQueuedReportsIsBounded) {
    port.present = {"PA"};
    state.scaleTable = {{"PA", "A"}};
    view.rows = {"A"};
    view.index = 0;
    selection.ScaleList_Click();
    for (int i = 0; i < 1000; ++i) {
        port.reads.push_back(std::vector<uint8_t>{3, 4, 2, 0, static_cast<uint8_t>(i), 0});
    }
    std::array<uint8_t, 8> buffer{};

    selection.ReadInputReport(buffer, 0);

    EXPECT_EQ(port.reads.size(), 1000u - 1u - HidInterface::kMaxQueuedReports);
    EXPECT_EQ(buffer[4], static_cast<uint8_t>(HidInterface::kMaxQueuedReports));
    EXPECT_TRUE(port.ReadRunning());  // the rest waits for the next cycle
    EXPECT_TRUE(state.deviceOpen);
}

TEST_F(ScaleSelectionTest, FailedReadOnAVanishedScaleLeavesItClosed) {
    port.present = {"PA"};
    state.scaleTable = {{"PA", "A"}};
    view.rows = {"A"};
    view.index = 0;
    selection.ScaleList_Click();
    std::array<uint8_t, 8> buffer{};
    selection.ReadInputReport(buffer);  // a read is running when the scale goes
    port.present.clear();               // pulled out
    log.clear();

    selection.ReadInputReport(buffer);

    EXPECT_EQ(log, (Log{"wait 0", "cancel", "close", "weight=", "timer on", "open PA"}));
    EXPECT_FALSE(state.deviceOpen);
    EXPECT_EQ(port.openHandles, 0);
    EXPECT_EQ(state.settings.SelectedScale, "PA");
    EXPECT_TRUE(view.timer);  // the read cycle stops it at its next tick
}

// A scale that reports only on change sends nothing about the weight already on it; it is asked
// when it is opened, and again after a silent spell. A scale that refuses is read as before.
struct AskCase {
    int line;
    std::optional<std::vector<uint8_t>> current;  // its answer; nothing: it refuses
    uint64_t silentMs;                            // then nothing arrives for this long
    std::array<uint8_t, 8> afterOpen;             // the buffer after the first read
    std::array<uint8_t, 8> afterSilence;          // after a read at the end of the silence
    int asks;
};

TEST_F(ScaleSelectionTest, CurrentReportIsAskedForAtOpenAndAfterSilence) {
    const std::array<uint8_t, 8> old{9, 9, 9, 9, 9, 9, 9, 9};
    const std::array<uint8_t, 8> parcel{3, 4, 2, 0, 0xE2, 0x04, 9, 9};  // 1250 g
    const AskCase cases[] = {
        {__LINE__, std::vector<uint8_t>{3, 4, 2, 0, 0xE2, 0x04}, HidInterface::kSilenceAskMs - 1, parcel, old, 1},
        {__LINE__, std::vector<uint8_t>{3, 4, 2, 0, 0xE2, 0x04}, HidInterface::kSilenceAskMs, parcel, parcel, 2},
        {__LINE__, std::nullopt, HidInterface::kSilenceAskMs, old, old, 2},  // refuses: asked, read as before
    };
    for (const AskCase& c : cases) {
        SCOPED_TRACE(c.line);
        Log log;
        base::AppState state;
        FakeView view{log};
        FakeEnumerator enumerator{log};
        FakeHidPort port{log};
        port.present = {"PA"};
        port.currentReport = c.current;
        ScaleSelection selection{state, view, view, view, enumerator, port};
        state.scaleTable = {{"PA", "A"}};
        view.rows = {"A"};
        view.index = 0;
        selection.ScaleList_Click();
        std::array<uint8_t, 8> buffer = old;

        selection.ReadInputReport(buffer, 0);
        EXPECT_EQ(buffer, c.afterOpen);

        buffer = old;
        port.now += c.silentMs;
        selection.ReadInputReport(buffer, 0);
        EXPECT_EQ(buffer, c.afterSilence);
        EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& e) { return e.starts_with("ask"); }),
                  c.asks);
        EXPECT_EQ(port.opens, 1);
    }
}

// The scale's own reports arrive after the answer to the question asked at open: they are newer.
TEST_F(ScaleSelectionTest, ReportsReadAfterTheOpenWinOverTheAnswer) {
    port.present = {"PA"};
    port.currentReport = std::vector<uint8_t>{3, 4, 2, 0, 10, 0};
    state.scaleTable = {{"PA", "A"}};
    view.rows = {"A"};
    view.index = 0;
    selection.ScaleList_Click();
    port.reads.push_back(std::vector<uint8_t>{3, 4, 2, 0, 11, 0});
    std::array<uint8_t, 8> buffer{};

    selection.ReadInputReport(buffer, 0);

    EXPECT_EQ(buffer[4], 11);
}

// The report ID asked for is the one the scale's own reports carry.
TEST_F(ScaleSelectionTest, CurrentReportIsAskedForWithTheScalesReportId) {
    port.present = {"PA"};
    state.scaleTable = {{"PA", "A"}};
    view.rows = {"A"};
    view.index = 0;
    selection.ScaleList_Click();
    port.reads.push_back(std::vector<uint8_t>{7, 4, 2, 0, 10, 0});
    std::array<uint8_t, 8> buffer{};
    selection.ReadInputReport(buffer, 0);
    log.clear();

    port.now += HidInterface::kSilenceAskMs;
    selection.ReadInputReport(buffer, 0);

    EXPECT_EQ(log, (Log{"wait 0", "ask 7/8"}));
}

// A report that completes the running read while it is being cancelled (a new selection of the
// same scale) is the scale's newest weight: it is shown, not dropped. Another scale's is not.
TEST_F(ScaleSelectionTest, ReportCompletingDuringTheCancelIsKeptForTheSameScale) {
    struct Case {
        int line;
        int reselect;
        uint8_t shown;
    } cases[] = {
        {__LINE__, 0, 55},
        {__LINE__, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Log log;
        base::AppState state;
        FakeView view{log};
        FakeEnumerator enumerator{log};
        FakeHidPort port{log};
        port.present = {"PA", "PB"};
        ScaleSelection selection{state, view, view, view, enumerator, port};
        state.scaleTable = {{"PA", "A"}, {"PB", "B"}};
        view.rows = {"A", "B"};
        view.index = 0;
        selection.ScaleList_Click();
        std::array<uint8_t, 8> buffer{};
        selection.ReadInputReport(buffer, 0);  // leaves a read running
        port.completesOnCancel = std::vector<uint8_t>{3, 4, 2, 0, 55, 0};

        view.index = c.reselect;
        selection.ScaleList_Click();
        selection.ReadInputReport(buffer, 0);

        EXPECT_EQ(buffer[4], c.shown);
    }
}

TEST_F(ScaleSelectionTest, ZeroReportGoesThroughASecondHandleWhileReadingGoesOn) {
    port.present = {"PA"};
    state.scaleTable = {{"PA", "A"}};
    view.rows = {"A"};
    view.index = 0;
    selection.ScaleList_Click();
    std::array<uint8_t, 8> buffer{};
    selection.ReadInputReport(buffer);  // a read is running
    log.clear();

    selection.SendZeroReport();

    EXPECT_EQ(log, (Log{"write PA"}));
    ASSERT_EQ(port.written.size(), 1U);
    EXPECT_EQ(port.written[0], (std::vector<uint8_t>{2, 2, 0, 0, 0}));
    EXPECT_TRUE(state.deviceOpen);
    EXPECT_TRUE(port.ReadRunning());

    // The scale's report right after the zero completes the read that was running.
    port.reads.push_back(std::vector<uint8_t>{3, 2, 2, 0, 0, 0});
    buffer.fill(9);
    selection.ReadInputReport(buffer);
    EXPECT_EQ(buffer[1], 2);
    EXPECT_EQ(port.opens, 1);
}

TEST_F(ScaleSelectionTest, ZeroReportWithoutAnOpenScaleClosesNothing) {
    port.present = {"PA"};
    state.scaleTable = {{"PA", "A"}};
    view.rows = {"A"};
    view.index = 0;
    state.deviceOpen = false;

    selection.SendZeroReport();

    EXPECT_EQ(log, (Log{"write PA"}));
}

TEST_F(ScaleSelectionTest, CloseScaleDeviceIsSafeToRepeat) {
    port.present = {"PA"};
    state.scaleTable = {{"PA", "A"}};
    view.rows = {"A"};
    view.index = 0;
    selection.ScaleList_Click();
    selection.CloseScaleDevice();
    selection.CloseScaleDevice();
    EXPECT_EQ(port.openHandles, 0);
    EXPECT_EQ(std::count(log.begin(), log.end(), "close"), 1);
}

}  // namespace
}  // namespace devices

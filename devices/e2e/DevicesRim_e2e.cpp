// End to end under Wine: the scale devices' Win32 rim (enumeration, HID reads and writes,
// device-change notifications) driven through ScaleDevices against virtual scales.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "VirtualScale.h"
#include "base/model/AppState.h"
#include "base/model/Views.h"
#include "devices/ScaleDevices_win.h"
#include "devices/ScaleListView.h"

namespace {

using Clock = std::chrono::steady_clock;

class QuietView final : public devices::IScaleListView, public base::IReadingDisplay, public base::IReadTimer {
  public:
    std::string weight = "old";
    std::string status;
    bool timer = false;
    std::vector<std::string> rows;
    int index = -1;
    void SetWeightBox(std::string_view text) override { weight = text; }
    void SetStatus(std::string_view text) override { status = text; }
    void SetTimerEnabled(bool enabled) override { timer = enabled; }
    bool TimerEnabled() const override { return timer; }
    void SetTimerInterval(int32_t) override {}
    void ClearList() override {
        rows.clear();
        index = -1;
    }
    void AddListRow(std::string_view text) override { rows.emplace_back(text); }
    int ListCount() const override { return static_cast<int>(rows.size()); }
    int ListIndex() const override { return index; }
    void SetListIndex(int i) override { index = i; }
};

// Processes messages (notifications are sent to the hidden window) until `done` or `ms`.
bool PumpUntil(const std::function<bool()>& done, int ms) {
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < until) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (done()) {
            return true;
        }
        (void)::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return done();
}

// Rows are named by vendor and product ID, so each test's scales get a product ID of their own:
// the rows of scales unplugged by an earlier test (Wine lists them for up to 2 s) then keep
// their own names.
e2e::ScaleOptions Scale(const std::string& serial, const std::string& name, uint16_t productId) {
    e2e::ScaleOptions options;
    options.serial = serial;
    options.friendlyName = name;
    options.productId = productId;
    return options;
}

class DevicesRim : public ::testing::Test {
  protected:
    void TearDown() override {
        for (const std::string& serial : _plugged) {
            (void)e2e::Unplug(serial);
        }
        devices.Selection().CloseScaleDevice();
        devices.StopNotifications();
    }

    void Plug(const e2e::ScaleOptions& options) {
        std::string error;
        ASSERT_TRUE(e2e::Plug(options, &error)) << error;
        _plugged.push_back(options.serial);
    }

    // Wine re-reads its raw-input device list at most every 2 s; refresh until the row shows.
    int RefreshUntilListed(const std::string& displayName) {
        int row = -1;
        PumpUntil(
            [&] {
                devices.Selection().RefreshButton_Click();
                for (size_t i = 0; i < view.rows.size(); ++i) {
                    if (view.rows[i] == displayName) {
                        row = static_cast<int>(i);
                    }
                }
                return row >= 0;
            },
            5000);
        return row;
    }

    void Select(int row) {
        view.SetListIndex(row);
        devices.Selection().ScaleList_Click();
    }

    base::AppState state;
    QuietView view;
    devices::win::ScaleDevices devices{state, view, view, view};

  private:
    std::vector<std::string> _plugged;
};

TEST_F(DevicesRim, ListsTheScaleUnderItsSetupNameAndNumbersATwin) {
    Plug(Scale("3101", "Rim Scale", 0x8101));
    Plug(Scale("3102", "Rim Scale", 0x8101));
    ASSERT_GE(RefreshUntilListed("Rim Scale (HIDClass) [2]"), 0);

    std::vector<std::string> paths;
    for (const auto& record : state.scaleTable) {
        paths.push_back(record.devicePath);
    }
    EXPECT_NE(std::find(paths.begin(), paths.end(), e2e::HidPath(Scale("3101", "", 0x8101))), paths.end());
    EXPECT_NE(std::find(paths.begin(), paths.end(), e2e::HidPath(Scale("3102", "", 0x8101))), paths.end());
    EXPECT_EQ(view.status, "");
}

TEST_F(DevicesRim, ReadsReportsZeroesAndResumes) {
    struct Case {
        int line;
        uint8_t reportLength;
        std::array<uint8_t, 8> expected;
    };
    const Case cases[] = {
        {__LINE__, 6, {3, 4, 2, 0xFF, 0xD2, 0x04, 0xEE, 0xEE}},  // a short report keeps the rest
        {__LINE__, 8, {3, 4, 2, 0xFF, 0xD2, 0x04, 0, 0}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const std::string serial = "320" + std::to_string(++n);
        auto options = Scale(serial, "Reader " + serial, static_cast<uint16_t>(0x8200 + n));
        options.reportLength = c.reportLength;
        Plug(options);
        ASSERT_TRUE(e2e::SetWeight(serial, 4, 2, -1, 1234));
        const int row = RefreshUntilListed("Reader " + serial + " (HIDClass)");
        ASSERT_GE(row, 0);
        Select(row);
        ASSERT_TRUE(state.deviceOpen);
        EXPECT_EQ(state.settings.SelectedScale, e2e::HidPath(options));

        state.settings.SampleRate = 300;  // waits 250 ms: a report every 100 ms arrives in time
        std::array<uint8_t, 8> buffer{};
        buffer.fill(0xEE);
        devices.Selection().ReadInputReport(buffer);
        EXPECT_EQ(buffer, c.expected);

        ASSERT_TRUE(e2e::ClearOutputs(serial));
        devices.Selection().SendZeroReport();
        EXPECT_EQ(e2e::Outputs(serial), (std::vector<std::vector<uint8_t>>{{2, 2, 0, 0, 0}}));

        // The zero report went through a handle of its own: the read after it goes on through
        // the read handle, which stayed open.
        buffer.fill(0xEE);
        devices.Selection().ReadInputReport(buffer);
        EXPECT_EQ(buffer, c.expected);
        EXPECT_TRUE(state.deviceOpen);
    }
}

TEST_F(DevicesRim, AScaleThatVanishesDuringReadingEndsClosed) {
    auto options = Scale("3301", "Vanishing", 0x8301);
    Plug(options);
    const int row = RefreshUntilListed("Vanishing (HIDClass)");
    ASSERT_GE(row, 0);
    Select(row);
    ASSERT_TRUE(state.deviceOpen);
    ASSERT_TRUE(e2e::Unplug("3301"));

    std::array<uint8_t, 8> buffer{};
    buffer.fill(0xEE);
    state.settings.SampleRate = 100;
    devices.Selection().ReadInputReport(buffer);  // a report queued before the unplug may still come
    devices.Selection().ReadInputReport(buffer);
    EXPECT_FALSE(state.deviceOpen);
}

TEST_F(DevicesRim, StopsOnRemovalOfTheSelectedScaleAndResumesOnItsReturn) {
    ASSERT_TRUE(devices.StartNotifications());
    auto options = Scale("3401", "Returning", 0x8401);
    Plug(options);
    const int row = RefreshUntilListed("Returning (HIDClass)");
    ASSERT_GE(row, 0);
    Select(row);
    ASSERT_TRUE(state.deviceOpen);
    ASSERT_TRUE(view.timer);

    ASSERT_TRUE(e2e::Unplug("3401"));
    EXPECT_TRUE(PumpUntil([&] { return state.sendSuppressed; }, 3000));
    EXPECT_FALSE(view.timer);
    EXPECT_EQ(view.weight, "");

    // Let Wine's raw-input list go stale first, so that the arrival's refresh sees the scale.
    PumpUntil([] { return false; }, 2500);
    Plug(options);
    EXPECT_TRUE(PumpUntil([&] { return !state.sendSuppressed && state.deviceOpen; }, 3000));
    EXPECT_TRUE(view.timer);
    EXPECT_GE(view.index, 0);
    std::array<uint8_t, 8> buffer{};
    state.settings.SampleRate = 300;
    devices.Selection().ReadInputReport(buffer);
    EXPECT_EQ(buffer[0], 3);
}

TEST_F(DevicesRim, AnotherScaleArrivingOnlyRefreshesTheList) {
    ASSERT_TRUE(devices.StartNotifications());
    Plug(Scale("3501", "Kept", 0x8501));
    const int row = RefreshUntilListed("Kept (HIDClass)");
    ASSERT_GE(row, 0);
    Select(row);
    const std::string selected = state.settings.SelectedScale;

    PumpUntil([] { return false; }, 2500);
    Plug(Scale("3502", "Newcomer", 0x8502));
    EXPECT_TRUE(PumpUntil([&] { return view.rows.size() >= 2; }, 3000));
    EXPECT_EQ(state.settings.SelectedScale, selected);
    EXPECT_TRUE(state.deviceOpen);
    EXPECT_FALSE(state.sendSuppressed);
}

}  // namespace

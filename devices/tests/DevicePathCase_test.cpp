// Windows spells one device path in different case in enumeration and in WM_DEVICECHANGE: the
// remembered scale, its removal and its return must be recognised whatever the case.
#include <gtest/gtest.h>

#include "devices/DeviceChangeHandlers.h"
#include "devices/tests/Fakes.h"

namespace devices {
namespace {

constexpr const char* kLower = R"(\\?\hid#vid_0922&pid_8003#7&1&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})";
constexpr const char* kUpper = R"(\\?\HID#VID_0922&PID_8003#7&1&0&0000#{4D1E55B2-F16F-11CF-88CB-001111000030})";
constexpr const char* kOther = R"(\\?\HID#VID_0922&PID_8009#7&2&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})";

struct NoVolumes : IVolumeNotifications {
    uintptr_t Subscribe(char) override { return 0; }
    void Unsubscribe(uintptr_t) override {}
};

struct Bench {
    testing::Log log;
    base::AppState state;
    testing::FakeView view{log};
    testing::FakeEnumerator enumerator{log};
    testing::FakeHidPort port{log};
    ScaleSelection selection{state, view, view, view, enumerator, port};
    DeviceChangeHandlers handlers{state, view, view, view, selection};
    NoVolumes volumes;
    DeviceNotifications notifications{volumes, handlers};

    void Notify(uint32_t event, const char* name) {
        DeviceBroadcast b{kDbtDevTypDeviceInterface, 0, 0, name, 0};
        (void)notifications.OnWindowMessage(kWmDeviceChange, event, &b);
    }
};

TEST(DevicePathCase, TheSelectedScaleIsKnownInAnyCase) {
    struct Row {
        int line;
        const char *remembered, *listed, *notified;
    };
    const Row rows[] = {
        {__LINE__, kUpper, kLower, kUpper},
        {__LINE__, kLower, kUpper, kUpper},
        {__LINE__, kUpper, kUpper, kLower},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        Bench b;
        b.state.settings.SelectedScale = row.remembered;
        b.enumerator.result = std::vector<base::ScaleDeviceRecord>{{row.listed, "Scale"}};
        b.port.present = {row.listed};
        b.selection.RefreshButton_Click();
        EXPECT_TRUE(b.state.deviceOpen);  // the remembered scale is chosen again

        b.Notify(kDbtDeviceRemoveComplete, row.notified);
        EXPECT_TRUE(b.state.sendSuppressed);
        EXPECT_FALSE(b.view.timer);
        EXPECT_TRUE(b.view.rows.empty());  // hidden although the system still lists it

        b.Notify(kDbtDeviceArrival, row.notified);
        EXPECT_FALSE(b.state.sendSuppressed);
        EXPECT_TRUE(b.state.deviceOpen);
    }
}

// The removal's suppression ends when any scale is read again; the about box's does not.
TEST(DevicePathCase, ChoosingAnotherScaleLiftsTheRemovalsSuppression) {
    Bench b;
    b.enumerator.result = std::vector<base::ScaleDeviceRecord>{{kOther, "Other"}, {kUpper, "Scale"}};
    b.port.present = {kOther, kUpper};
    b.state.settings.SelectedScale = kUpper;
    b.state.aboutBoxOpen = true;
    b.selection.RefreshButton_Click();
    b.Notify(kDbtDeviceRemoveComplete, kUpper);
    ASSERT_TRUE(b.state.sendSuppressed);
    b.view.index = 0;
    b.selection.ScaleList_Click();
    EXPECT_FALSE(b.state.sendSuppressed);
    EXPECT_TRUE(b.state.aboutBoxOpen);
}

}  // namespace
}  // namespace devices

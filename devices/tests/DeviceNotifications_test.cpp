#include "devices/DeviceNotifications.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "devices/DeviceBroadcast.h"
#include "devices/DeviceChangeHandlers.h"
#include "devices/tests/Fakes.h"

namespace devices {
namespace {

using testing::Log;
using Record = std::vector<uint8_t>;

constexpr const char* kScale = R"(\\?\HID#VID_0922&PID_8003#0001#{4d1e55b2})";
constexpr const char* kStick = R"(\\?\USBSTOR#Disk&Ven_Generic#5&1&0#{53f56307})";

// Broadcast records laid out as the system delivers them to this process.
Record Header(uint32_t size, uint32_t devType) {
    Record r(size, 0);
    std::memcpy(r.data(), &size, 4);
    std::memcpy(r.data() + 4, &devType, std::min<size_t>(4, size > 4 ? size - 4 : 0));
    return r;
}
Record Volume(uint32_t unitMask, uint16_t flags) {
    Record r = Header(20, kDbtDevTypVolume);
    std::memcpy(r.data() + 12, &unitMask, 4);
    std::memcpy(r.data() + 16, &flags, 2);
    return r;
}
Record Interface(std::u16string name, bool terminated = true) {
    Record r = Header(static_cast<uint32_t>(28 + 2 * (name.size() + (terminated ? 1 : 0))), kDbtDevTypDeviceInterface);
    std::memcpy(r.data() + 28, name.data(), 2 * name.size());
    return r;
}
Record Interface(const std::string& ascii) {
    return Interface(std::u16string(ascii.begin(), ascii.end()));
}
Record SingleByteInterface(const std::string& name) {
    Record r = Header(static_cast<uint32_t>(28 + name.size() + 1), kDbtDevTypDeviceInterface);
    std::memcpy(r.data() + 28, name.data(), name.size());
    return r;
}
Record Handle(uintptr_t notifyHandle) {
    const size_t at = (12 + sizeof(void*) - 1) / sizeof(void*) * sizeof(void*) + sizeof(void*);
    Record r = Header(static_cast<uint32_t>(at + sizeof(void*) + 16 + 4 + 1), kDbtDevTypHandle);
    std::memcpy(r.data() + at, &notifyHandle, sizeof notifyHandle);
    return r;
}

// Each record, then its type, mask, flags, handle and name.
TEST(ParseDeviceBroadcast, ReadsEachRecordKindWithinItsSize) {
    const std::pair<Record, std::string> cases[] = {
        {Volume(0x10, 1), "2 16 1 0 "},
        {Interface(kScale), std::string("5 0 0 0 ") + kScale},
        {Interface(u"\\\\?\\HID#\u4E2D"), "5 0 0 0 \\\\?\\HID#\xE4\xB8\xAD"},
        {Interface(u"\\\\?\\HID#X", false), "5 0 0 0 \\\\?\\HID#X"},  // no terminating zero
        {SingleByteInterface(kScale), std::string("5 0 0 0 ") + kScale},
        {SingleByteInterface(std::string(2000, 'Q')), "5 0 0 0 " + std::string(1024, 'Q')},
        {Handle(0xABCD), "6 0 0 43981 "},
        {Header(12, kDbtDevTypVolume), "2 0 0 0 "},  // cut short: no mask
        {Header(7, kDbtDevTypVolume), "0 0 0 0 "},   // not even a type
    };
    for (const auto& [record, expected] : cases) {
        const DeviceBroadcast b = ParseDeviceBroadcast(record);
        EXPECT_EQ(std::to_string(b.devType) + " " + std::to_string(b.unitMask) + " " + std::to_string(b.volumeFlags) +
                      " " + std::to_string(b.notifyHandle) + " " + b.interfaceName,
                  expected);
    }
}

class FakeVolumes final : public IVolumeNotifications {
  public:
    explicit FakeVolumes(Log& log) : _log(log) {}
    uintptr_t next = 0x100;
    std::map<uintptr_t, char> live;

    uintptr_t Subscribe(char letter) override {
        _log += std::string("subscribe ") + letter + "; ";
        if (letter == 'Q') {
            return 0;  // a volume that cannot be opened
        }
        live[next] = letter;
        return next++;
    }
    void Unsubscribe(uintptr_t subscription) override {
        _log += std::string("unsubscribe ") + live.at(subscription) + "; ";
        live.erase(subscription);
    }

  private:
    Log& _log;
};

// Records each event with what the queries say while it runs.
class RecordingEvents final : public IDeviceEvents {
  public:
    explicit RecordingEvents(Log& log) : _log(log) {}
    bool cancel = false;
    void DeviceArrival(const DeviceNotifications& n, uint32_t t) override { Record("arrival", n, t); }
    void DeviceQueryRemove(const DeviceNotifications& n, uint32_t t, bool& c) override {
        Record(c ? "query cancelled" : "query", n, t);
        c = cancel;
    }
    void DeviceQueryRemoveFailed(const DeviceNotifications& n, uint32_t t) override { Record("failed", n, t); }
    void DeviceRemovePending(const DeviceNotifications& n, uint32_t t) override { Record("pending", n, t); }
    void DeviceRemoveComplete(const DeviceNotifications& n, uint32_t t) override { Record("complete", n, t); }

  private:
    void Record(const std::string& what, const DeviceNotifications& n, uint32_t t) {
        _log += what + " " + std::to_string(t) + " [" + DescribeDeviceEvent(n, "E") + "]; ";
    }
    Log& _log;
};

struct Rig {
    Log& log;
    FakeVolumes volumes{log};
    RecordingEvents events{log};
    DeviceNotifications notifications{volumes, events};

    uint32_t Send(uint32_t event, const Record& record) {
        const DeviceBroadcast b = ParseDeviceBroadcast(record);
        return notifications.OnWindowMessage(kWmDeviceChange, event, record.empty() ? nullptr : &b);
    }
};

TEST(DeviceNotifications, DispatchesTheFiveEventsAndVetoesOnRequest) {
    const std::string hid = std::string(" 5 [E: 5 - ") + kScale + "]; ";
    const struct {
        uint32_t event;
        Record record;
        bool cancel;
        std::string log;  // then "deny" for a vetoed query
    } cases[] = {
        {0x8000, Interface(kScale), false, "arrival" + hid},
        {0x8001, Interface(kScale), false, "query" + hid},
        {0x8001, Interface(kScale), true, "query" + hid + "deny"},
        {0x8002, Interface(kScale), true, "failed" + hid},
        {0x8003, Interface(kScale), false, "pending" + hid},
        {0x8004, Interface(kScale), false, "complete" + hid},
        {0x8000, Volume(0x14, 1), false, "subscribe C; arrival 2 [E: 2 - vol: C, flags: 1]; "},
        {0x8000, Volume(1U << 25, 0xABCD), false, "subscribe Z; arrival 2 [E: 2 - vol: Z, flags: ABCD]; "},
        {0x8000, Volume(0, 0x1F), false, "arrival 2 [E: 2 - vol: , flags: 1F]; "},
        {0x8000, {}, false, "arrival 0 [E: 0 - ]; "},
        {0x8005, {}, false, ""},
        {0x7FFF, {}, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        Log log;
        Rig r{log};
        r.events.cancel = c.cancel;
        EXPECT_EQ(r.notifications.OnWindowMessage(0x0218, c.event, nullptr), 0U);  // another message: nothing
        const uint32_t result = r.Send(c.event, c.record);
        EXPECT_EQ(log + (result == kBroadcastQueryDeny ? "deny" : result != 0 ? "other" : ""), c.log);
        EXPECT_EQ(DescribeDeviceEvent(r.notifications, "After"), "After: 0 - ");  // nothing current any more
    }
}

TEST(DeviceNotifications, WatchesAVolumeFromArrivalToRemovePending) {
    Log log;
    {
        Rig r{log};
        r.Send(kDbtDeviceArrival, Volume(0x30, 0));  // E and F: E is the lowest
        r.Send(kDbtDeviceQueryRemove, Handle(r.volumes.live.begin()->first));
        r.Send(kDbtDeviceQueryRemove, Handle(0x999));
        r.Send(kDbtDeviceQueryRemoveFailed, Handle(0));
        r.Send(kDbtDeviceRemovePending, Volume(0x10, 0));
        r.Send(kDbtDeviceArrival, Volume(0x10, 0));  // E again, dropped at shutdown
    }
    EXPECT_EQ(log,
              "subscribe E; arrival 2 [E: 2 - vol: E, flags: 0]; query 6 [E: 6 - vol: E]; query 6 [E: 6 - vol: ]; "
              "failed 6 [E: 6 - vol: ]; pending 2 [E: 2 - vol: E, flags: 0]; unsubscribe E; subscribe E; "
              "arrival 2 [E: 2 - vol: E, flags: 0]; unsubscribe E; ");
}

TEST(DeviceNotifications, SetQueryHookTakesIndicesAndLettersAndReplaces) {
    Log log;
    {
        Rig r{log};
        DeviceNotifications& n = r.notifications;
        const auto result = [&](bool ok) { log += ok ? "yes; " : "no; "; };
        result(n.SetQueryHook(0, true));
        result(n.SetQueryHook(25, true));
        result(n.SetQueryHook(26, true));
        result(n.SetQueryHook(-1, true));
        result(n.SetQueryHook("d", true));
        result(n.SetQueryHook("D:\\", true));  // replaces D's subscription
        result(n.SetQueryHook("Q", true));     // the volume cannot be opened
        result(n.SetQueryHook("C"));           // nothing to drop
        result(n.SetQueryHook("a"));
    }
    EXPECT_EQ(log,
              "subscribe A; yes; subscribe Z; yes; no; no; subscribe D; yes; unsubscribe D; subscribe D; yes; "
              "subscribe Q; no; yes; unsubscribe A; yes; unsubscribe D; unsubscribe Z; ");
}

// The main window's two handlers, with the list commands recorded.
TEST(DeviceChangeHandlers, StopAndResumeOnlyForTheSelectedScale) {
    const std::string removeStep = std::string("removed ") + kScale + "; RefreshButton_Click; ";
    const std::string arriveStep = std::string("arrived ") + kScale + "; RefreshButton_Click; ";
    const std::string lowerScale = R"(\\?\hid#vid_0922&pid_8003#0001#{4d1e55b2})";  // any case names the scale
    const struct {
        std::string selected;
        bool suppressedBefore;
        uint32_t event;
        Record record;
        bool suppressedAfter;
        std::string log;
        size_t listed = 3;  // rows in the list
    } cases[] = {
        {kScale, false, kDbtDeviceRemoveComplete, Interface(kScale), true, "timer off; weight=; " + removeStep},
        {kScale, true, kDbtDeviceArrival, Interface(kScale), false, arriveStep + "select 1; ScaleList_Click; "},
        {kScale, true, kDbtDeviceArrival, Interface(kScale), false, arriveStep, 1},  // its row is gone
        {lowerScale, true, kDbtDeviceArrival, Interface(kScale), false, arriveStep + "select 1; ScaleList_Click; "},
        {"other", true, kDbtDeviceArrival, Interface(kScale), true, arriveStep},
        {"other", false, kDbtDeviceRemoveComplete, Interface(kScale), false, removeStep},
        {kStick, false, kDbtDeviceRemoveComplete, Interface(kStick), true, "timer off; weight=; "},  // no HID
        {kStick, true, kDbtDeviceArrival, Interface(kStick), false, ""},
        // Volume and handle notifications carry no name: never the selected scale, even when
        // none has been selected yet.
        {"", false, kDbtDeviceRemoveComplete, Volume(0x10, 0), false, ""},
        {"", true, kDbtDeviceArrival, Volume(0x10, 0), true, "subscribe E; "},
        // The other three events have no handler.
        {kScale, false, kDbtDeviceRemovePending, Interface(kScale), false, ""},
        {kScale, false, kDbtDeviceQueryRemove, Interface(kScale), false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        Log log;
        base::AppState state;
        testing::FakeView view{log};
        DeviceChangeHandlers handlers{state, view, view, view, view};
        FakeVolumes volumes{log};
        DeviceNotifications notifications{volumes, handlers};
        state.settings.SelectedScale = c.selected;
        state.sendSuppressed = c.suppressedBefore;
        state.scaleTable = {{"first", "A"}, {kScale, "Scale"}, {kScale, "Twin"}};
        view.rows = {"A", "Scale", "Twin"};
        view.rows.resize(c.listed);
        const DeviceBroadcast b = ParseDeviceBroadcast(c.record);
        notifications.OnWindowMessage(kWmDeviceChange, c.event, &b);
        EXPECT_EQ(state.sendSuppressed, c.suppressedAfter);
        EXPECT_EQ(log, c.log);
    }
}

// Windows spells one device path in different case in enumeration and in WM_DEVICECHANGE: the
// remembered scale, its removal and its return must be recognised whatever the case.
struct CaseBench : testing::SelectionRig {
    DeviceChangeHandlers handlers{state, view, view, view, selection};
    FakeVolumes volumes{log};
    DeviceNotifications notifications{volumes, handlers};

    void Notify(uint32_t event, const char* name) {
        DeviceBroadcast b{kDbtDevTypDeviceInterface, 0, 0, name, 0};
        (void)notifications.OnWindowMessage(kWmDeviceChange, event, &b);
    }
};

TEST(DevicePathCase, TheSelectedScaleIsKnownInAnyCase) {
    const char* lower = R"(\\?\hid#vid_0922&pid_8003#7&1#{4d1e55b2-f16f})";
    const char* upper = R"(\\?\HID#VID_0922&PID_8003#7&1#{4D1E55B2-F16F})";
    // Remembered, listed and notified spellings.
    const std::array<const char*, 3> rows[] = {{upper, lower, upper}, {lower, upper, upper}, {upper, upper, lower}};
    for (const auto& [remembered, listed, notified] : rows) {
        SCOPED_TRACE(std::string(remembered) + " " + listed + " " + notified);
        CaseBench b;
        b.state.settings.SelectedScale = remembered;
        b.view.found = std::vector<base::ScaleDeviceRecord>{{listed, "Scale"}};
        b.port.present = {listed};
        b.selection.RefreshButton_Click();
        EXPECT_TRUE(b.state.deviceOpen);  // the remembered scale is chosen again

        b.Notify(kDbtDeviceRemoveComplete, notified);
        EXPECT_TRUE(b.state.sendSuppressed);
        EXPECT_FALSE(b.view.timer);
        EXPECT_TRUE(b.view.rows.empty());  // hidden although the system still lists it

        b.Notify(kDbtDeviceArrival, notified);
        EXPECT_FALSE(b.state.sendSuppressed);
        EXPECT_TRUE(b.state.deviceOpen);
    }
}

// The removal's suppression ends when any scale is read again; the about box's does not.
TEST(DevicePathCase, ChoosingAnotherScaleLiftsTheRemovalsSuppression) {
    const char* other = R"(\\?\HID#VID_0922&PID_8009#7&2#{4d1e55b2})";
    CaseBench b;
    b.view.found = std::vector<base::ScaleDeviceRecord>{{other, "Other"}, {kScale, "Scale"}};
    b.port.present = {other, kScale};
    b.state.settings.SelectedScale = kScale;
    b.state.aboutBoxOpen = true;
    b.selection.RefreshButton_Click();
    b.Notify(kDbtDeviceRemoveComplete, kScale);
    ASSERT_TRUE(b.state.sendSuppressed);
    b.view.index = 0;
    b.selection.ScaleList_Click();
    EXPECT_FALSE(b.state.sendSuppressed);
    EXPECT_TRUE(b.state.aboutBoxOpen);
}

}  // namespace
}  // namespace devices

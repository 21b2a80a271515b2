#include "devices/DeviceNotifications.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "devices/DeviceBroadcast.h"
#include "devices/DeviceChangeHandlers.h"
#include "devices/tests/Fakes.h"

namespace devices {
namespace {

using testing::FakeCommands;
using testing::FakeView;
using testing::Log;

constexpr const char* kScaleInterface = R"(\\?\HID#VID_0922&PID_8003#0001#{4d1e55b2-f16f-11cf-88cb-001111000030})";
constexpr const char* kStickInterface =
    R"(\\?\USBSTOR#Disk&Ven_Generic&Prod_Flash_Disk&Rev_8.07#5&1&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b})";

// Broadcast records laid out as the system delivers them to this process.
std::vector<uint8_t> Header(uint32_t size, uint32_t devType) {
    std::vector<uint8_t> r(size, 0);
    std::memcpy(r.data(), &size, 4);
    if (size >= 8) {
        std::memcpy(r.data() + 4, &devType, 4);
    }
    return r;
}

std::vector<uint8_t> VolumeRecord(uint32_t unitMask, uint16_t flags) {
    auto r = Header(20, kDbtDevTypVolume);
    std::memcpy(r.data() + 12, &unitMask, 4);
    std::memcpy(r.data() + 16, &flags, 2);
    return r;
}

std::vector<uint8_t> InterfaceRecord(const std::u16string& name, bool terminated = true) {
    const size_t chars = name.size() + (terminated ? 1 : 0);
    auto r = Header(static_cast<uint32_t>(28 + 2 * chars), kDbtDevTypDeviceInterface);
    std::memcpy(r.data() + 28, name.data(), 2 * name.size());
    return r;
}

std::vector<uint8_t> SingleByteInterfaceRecord(const std::string& name) {
    auto r = Header(static_cast<uint32_t>(28 + name.size() + 1), kDbtDevTypDeviceInterface);
    std::memcpy(r.data() + 28, name.data(), name.size());
    return r;
}

std::vector<uint8_t> HandleRecord(uintptr_t notifyHandle) {
    const size_t at = (12 + sizeof(void*) - 1) / sizeof(void*) * sizeof(void*) + sizeof(void*);
    auto r = Header(static_cast<uint32_t>(at + sizeof(void*) + 16 + 4 + 1), kDbtDevTypHandle);
    std::memcpy(r.data() + at, &notifyHandle, sizeof notifyHandle);
    return r;
}

std::u16string Wide(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

struct ParseCase {
    int line;
    std::vector<uint8_t> record;
    uint32_t devType;
    uint32_t unitMask;
    uint16_t flags;
    std::string name;
    uintptr_t notifyHandle;
};

TEST(ParseDeviceBroadcast, ReadsEachRecordKindWithinItsSize) {
    auto unterminated = InterfaceRecord(u"\\\\?\\HID#X", false);
    const ParseCase cases[] = {
        {__LINE__, VolumeRecord(0x10, 1), kDbtDevTypVolume, 0x10, 1, "", 0},
        {__LINE__, InterfaceRecord(Wide(kScaleInterface)), kDbtDevTypDeviceInterface, 0, 0, kScaleInterface, 0},
        {__LINE__, InterfaceRecord(u"\\\\?\\HID#Waage\u00E4"), kDbtDevTypDeviceInterface, 0, 0,
         "\\\\?\\HID#Waage\xC3\xA4", 0},
        {__LINE__, unterminated, kDbtDevTypDeviceInterface, 0, 0, "\\\\?\\HID#X", 0},
        {__LINE__, InterfaceRecord(u""), kDbtDevTypDeviceInterface, 0, 0, "", 0},
        {__LINE__, Header(28, kDbtDevTypDeviceInterface), kDbtDevTypDeviceInterface, 0, 0, "", 0},
        {__LINE__, InterfaceRecord(std::u16string(1, u'\xD800')), kDbtDevTypDeviceInterface, 0, 0, "\xEF\xBF\xBD", 0},
        {__LINE__, SingleByteInterfaceRecord(kScaleInterface), kDbtDevTypDeviceInterface, 0, 0, kScaleInterface, 0},
        {__LINE__, SingleByteInterfaceRecord("X"), kDbtDevTypDeviceInterface, 0, 0, "X", 0},
        {__LINE__, SingleByteInterfaceRecord(std::string(2000, 'Q')), kDbtDevTypDeviceInterface, 0, 0,
         std::string(1024, 'Q'), 0},
        {__LINE__, HandleRecord(0xABCD), kDbtDevTypHandle, 0, 0, "", 0xABCD},
        {__LINE__, Header(12, kDbtDevTypVolume), kDbtDevTypVolume, 0, 0, "", 0},  // cut short: no mask
        {__LINE__, Header(12, kDbtDevTypHandle), kDbtDevTypHandle, 0, 0, "", 0},
        {__LINE__, Header(6, kDbtDevTypVolume), 0, 0, 0, "", 0},  // not even a type
        {__LINE__, {}, 0, 0, 0, "", 0},
        {__LINE__, Header(12, 3), 3, 0, 0, "", 0},  // a port record
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.line);
        DeviceBroadcast b = ParseDeviceBroadcast(c.record);
        EXPECT_EQ(b.devType, c.devType);
        EXPECT_EQ(b.unitMask, c.unitMask);
        EXPECT_EQ(b.volumeFlags, c.flags);
        EXPECT_EQ(b.interfaceName, c.name);
        EXPECT_EQ(b.notifyHandle, c.notifyHandle);
    }
}

TEST(ParseDeviceBroadcast, StopsTheNameAtItsFixedArea) {
    const std::u16string huge(3000, u'A');
    DeviceBroadcast b = ParseDeviceBroadcast(InterfaceRecord(huge));
    EXPECT_EQ(b.interfaceName, std::string(kMaxInterfaceNameChars, 'A'));
}

class FakeVolumes final : public IVolumeNotifications {
  public:
    explicit FakeVolumes(Log& log) : _log(log) {}
    std::string failing;  // letters that cannot be opened
    uintptr_t next = 0x100;
    std::map<uintptr_t, char> live;

    uintptr_t Subscribe(char driveLetter) override {
        _log.push_back(std::string("subscribe ") + driveLetter);
        if (failing.find(driveLetter) != std::string::npos) {
            return 0;
        }
        live[next] = driveLetter;
        return next++;
    }
    void Unsubscribe(uintptr_t subscription) override {
        _log.push_back(std::string("unsubscribe ") + live.at(subscription));
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
    void DeviceArrival(const DeviceNotifications& notifications, uint32_t t) override {
        Record("arrival", notifications, t);
    }
    void DeviceQueryRemove(const DeviceNotifications& notifications, uint32_t t, bool& c) override {
        Record("query", notifications, t);
        EXPECT_FALSE(c);
        c = cancel;
    }
    void DeviceQueryRemoveFailed(const DeviceNotifications& notifications, uint32_t t) override {
        Record("failed", notifications, t);
    }
    void DeviceRemovePending(const DeviceNotifications& notifications, uint32_t t) override {
        Record("pending", notifications, t);
    }
    void DeviceRemoveComplete(const DeviceNotifications& notifications, uint32_t t) override {
        Record("complete", notifications, t);
    }

  private:
    void Record(const std::string& what, const DeviceNotifications& notifications, uint32_t t) {
        _log.push_back(what + " " + std::to_string(t) + " [" + DescribeDeviceEvent(notifications, "E") + "]");
    }
    Log& _log;
};

struct DispatchCase {
    int line;
    uint32_t msg;
    uintptr_t wParam;
    std::vector<uint8_t> record;  // empty: no record
    bool cancel;
    uint32_t result;
    Log log;
};

TEST(DeviceNotifications, DispatchesTheFiveEventsAndVetoesOnRequest) {
    const std::string hid = std::string("[E: 5 - ") + kScaleInterface + "]";
    const DispatchCase cases[] = {
        {__LINE__, 0x0219, 0x8000, InterfaceRecord(Wide(kScaleInterface)), false, 0, {"arrival 5 " + hid}},
        {__LINE__, 0x0219, 0x8001, InterfaceRecord(Wide(kScaleInterface)), false, 0, {"query 5 " + hid}},
        {__LINE__,
         0x0219,
         0x8001,
         InterfaceRecord(Wide(kScaleInterface)),
         true,
         kBroadcastQueryDeny,
         {"query 5 " + hid}},
        {__LINE__, 0x0219, 0x8002, InterfaceRecord(Wide(kScaleInterface)), true, 0, {"failed 5 " + hid}},
        {__LINE__, 0x0219, 0x8003, InterfaceRecord(Wide(kScaleInterface)), false, 0, {"pending 5 " + hid}},
        {__LINE__, 0x0219, 0x8004, InterfaceRecord(Wide(kScaleInterface)), false, 0, {"complete 5 " + hid}},
        {__LINE__,
         0x0219,
         0x8000,
         VolumeRecord(0x14, 1),
         false,
         0,
         {"subscribe C", "arrival 2 [E: 2 - vol: C, flags: 1]"}},
        {__LINE__, 0x0219, 0x8000, VolumeRecord(0, 0x1F), false, 0, {"arrival 2 [E: 2 - vol: , flags: 1F]"}},
        {__LINE__, 0x0219, 0x8000, {}, false, 0, {"arrival 0 [E: 0 - ]"}},
        {__LINE__, 0x0219, 0x8004, Header(12, 3), false, 0, {"complete 3 [E: 3 - ]"}},
        {__LINE__, 0x0219, 0x0007, {}, false, 0, {}},  // DBT_DEVNODES_CHANGED: no event
        {__LINE__, 0x0219, 0x8005, {}, false, 0, {}},
        {__LINE__, 0x0219, 0x7FFF, {}, false, 0, {}},
        {__LINE__, 0x0218, 0x8000, {}, false, 0, {}},  // another message
    };
    for (const DispatchCase& c : cases) {
        SCOPED_TRACE(c.line);
        Log log;
        FakeVolumes volumes{log};
        RecordingEvents events{log};
        events.cancel = c.cancel;
        DeviceNotifications notifications{volumes, events};
        DeviceBroadcast b = ParseDeviceBroadcast(c.record);
        EXPECT_EQ(notifications.OnWindowMessage(c.msg, c.wParam, c.record.empty() ? nullptr : &b), c.result);
        EXPECT_EQ(log, c.log);
        EXPECT_EQ(notifications.GetDeviceType(), 0U);  // nothing current after the dispatch
        EXPECT_EQ(notifications.GetDeviceInterfaceName(), "");
    }
}

TEST(DeviceNotifications, WatchesAVolumeFromArrivalToRemovePending) {
    Log log;
    FakeVolumes volumes{log};
    RecordingEvents events{log};
    {
        DeviceNotifications notifications{volumes, events};
        DeviceBroadcast arrival = ParseDeviceBroadcast(VolumeRecord(0x30, 0));  // E and F: E is the lowest
        notifications.OnWindowMessage(kWmDeviceChange, kDbtDeviceArrival, &arrival);
        ASSERT_EQ(volumes.live.size(), 1U);
        const uintptr_t subscription = volumes.live.begin()->first;

        DeviceBroadcast query = ParseDeviceBroadcast(HandleRecord(subscription));
        notifications.OnWindowMessage(kWmDeviceChange, kDbtDeviceQueryRemove, &query);
        DeviceBroadcast stranger = ParseDeviceBroadcast(HandleRecord(0x999));
        notifications.OnWindowMessage(kWmDeviceChange, kDbtDeviceQueryRemove, &stranger);
        DeviceBroadcast nullHandle = ParseDeviceBroadcast(HandleRecord(0));
        notifications.OnWindowMessage(kWmDeviceChange, kDbtDeviceQueryRemoveFailed, &nullHandle);
        DeviceBroadcast pending = ParseDeviceBroadcast(VolumeRecord(0x10, 0));
        notifications.OnWindowMessage(kWmDeviceChange, kDbtDeviceRemovePending, &pending);
        EXPECT_TRUE(volumes.live.empty());

        notifications.OnWindowMessage(kWmDeviceChange, kDbtDeviceArrival, &pending);  // E again, kept at shutdown
    }
    EXPECT_EQ(log, (Log{"subscribe E", "arrival 2 [E: 2 - vol: E, flags: 0]", "query 6 [E: 6 - vol: E]",
                        "query 6 [E: 6 - vol: ]", "failed 6 [E: 6 - vol: ]", "pending 2 [E: 2 - vol: E, flags: 0]",
                        "unsubscribe E", "subscribe E", "arrival 2 [E: 2 - vol: E, flags: 0]", "unsubscribe E"}));
    EXPECT_TRUE(volumes.live.empty());
}

struct HookCase {
    int line;
    bool isText;
    int index;
    std::string drive;
    bool setHook;
    bool result;
    Log log;
};

TEST(DeviceNotifications, SetQueryHookAcceptsIndicesAndLetters) {
    const HookCase cases[] = {
        {__LINE__, false, 0, "", true, true, {"subscribe A"}},
        {__LINE__, false, 25, "", true, true, {"subscribe Z"}},
        {__LINE__, false, 26, "", true, false, {}},
        {__LINE__, false, -1, "", true, false, {}},
        {__LINE__, true, 0, "d", true, true, {"subscribe D"}},
        {__LINE__, true, 0, "D:\\", true, true, {"subscribe D"}},
        {__LINE__, true, 0, "", true, false, {}},
        {__LINE__, true, 0, "1", true, false, {}},
        {__LINE__, true, 0, "\xC3\xA4", true, false, {}},
        {__LINE__, true, 0, "Q", true, false, {"subscribe Q"}},  // the volume cannot be opened
        {__LINE__, true, 0, "C", false, true, {}},               // nothing to drop
    };
    for (const HookCase& c : cases) {
        SCOPED_TRACE(c.line);
        Log log;
        FakeVolumes volumes{log};
        volumes.failing = "Q";
        RecordingEvents events{log};
        DeviceNotifications notifications{volumes, events};
        const bool result =
            c.isText ? notifications.SetQueryHook(c.drive, c.setHook) : notifications.SetQueryHook(c.index, c.setHook);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(log, c.log);
    }
}

TEST(DeviceNotifications, ReplacesAnExistingSubscription) {
    Log log;
    FakeVolumes volumes{log};
    RecordingEvents events{log};
    DeviceNotifications notifications{volumes, events};
    EXPECT_TRUE(notifications.SetQueryHook("G", true));
    EXPECT_TRUE(notifications.SetQueryHook(6, true));
    EXPECT_TRUE(notifications.SetQueryHook("g"));
    EXPECT_EQ(log, (Log{"subscribe G", "unsubscribe G", "subscribe G", "unsubscribe G"}));
}

// The main window's two handlers, with the list commands recorded.
class HandlersTest : public ::testing::Test {
  protected:
    Log log;
    base::AppState state;
    FakeView view{log};
    FakeCommands commands{log};
    DeviceChangeHandlers handlers{state, view, view, view, commands};
    testing::FakeHidPort unusedPort{log};
    FakeVolumes volumes{log};
    DeviceNotifications notifications{volumes, handlers};

    void Send(uint32_t event, const std::vector<uint8_t>& record) {
        DeviceBroadcast b = ParseDeviceBroadcast(record);
        notifications.OnWindowMessage(kWmDeviceChange, event, &b);
    }
};

struct HandlerCase {
    int line;
    std::string selectedScale;
    bool suppressedBefore;
    uint32_t event;
    std::vector<uint8_t> record;
    bool suppressedAfter;
    Log log;
};

TEST_F(HandlersTest, StopAndResumeOnlyForTheSelectedScale) {
    const HandlerCase cases[] = {
        {__LINE__,
         kScaleInterface,
         false,
         kDbtDeviceRemoveComplete,
         InterfaceRecord(Wide(kScaleInterface)),
         true,
         {"timer off", "weight=", std::string("removed ") + kScaleInterface, "RefreshButton_Click"}},
        {__LINE__,
         kScaleInterface,
         true,
         kDbtDeviceArrival,
         InterfaceRecord(Wide(kScaleInterface)),
         false,
         {std::string("arrived ") + kScaleInterface, "RefreshButton_Click", "select 1", "ScaleList_Click"}},
        {__LINE__,
         "other",
         true,
         kDbtDeviceArrival,
         InterfaceRecord(Wide(kScaleInterface)),
         true,
         {std::string("arrived ") + kScaleInterface, "RefreshButton_Click"}},
        {__LINE__,
         "other",
         false,
         kDbtDeviceRemoveComplete,
         InterfaceRecord(Wide(kScaleInterface)),
         false,
         {std::string("removed ") + kScaleInterface, "RefreshButton_Click"}},
        // Not a HID interface: no refresh.
        {__LINE__,
         kStickInterface,
         false,
         kDbtDeviceRemoveComplete,
         InterfaceRecord(Wide(kStickInterface)),
         true,
         {"timer off", "weight="}},
        // Volume and handle notifications carry no name: never the selected scale, even when
        // none has been selected yet.
        {__LINE__, "", false, kDbtDeviceRemoveComplete, VolumeRecord(0x10, 0), false, {}},
        {__LINE__, "", true, kDbtDeviceArrival, VolumeRecord(0x10, 0), true, {"subscribe E"}},
        {__LINE__, "", false, kDbtDeviceRemoveComplete, HandleRecord(0x5), false, {}},
        {__LINE__, "", true, kDbtDeviceArrival, Header(12, 3), true, {}},
        {__LINE__, "", false, kDbtDeviceRemoveComplete, InterfaceRecord(u""), false, {}},
        // The other three events have no handler.
        {__LINE__, kScaleInterface, false, kDbtDeviceRemovePending, InterfaceRecord(Wide(kScaleInterface)), false, {}},
        {__LINE__, kScaleInterface, false, kDbtDeviceQueryRemove, InterfaceRecord(Wide(kScaleInterface)), false, {}},
    };
    for (const HandlerCase& c : cases) {
        SCOPED_TRACE(c.line);
        log.clear();
        state.settings.SelectedScale = c.selectedScale;
        state.sendSuppressed = c.suppressedBefore;
        state.scaleTable = {{"first", "A"}, {kScaleInterface, "Scale"}, {kScaleInterface, "Twin"}};
        view.rows = {"A", "Scale", "Twin"};
        view.timer = true;

        Send(c.event, c.record);

        EXPECT_EQ(state.sendSuppressed, c.suppressedAfter);
        EXPECT_EQ(log, c.log);
    }
}

TEST_F(HandlersTest, ArrivalOfTheSelectedScaleNotInTheListSelectsNothing) {
    state.settings.SelectedScale = kScaleInterface;
    state.sendSuppressed = true;
    state.scaleTable = {{"first", "A"}};
    view.rows = {"A"};

    Send(kDbtDeviceArrival, InterfaceRecord(Wide(kScaleInterface)));

    EXPECT_FALSE(state.sendSuppressed);
    EXPECT_EQ(log, (Log{std::string("arrived ") + kScaleInterface, "RefreshButton_Click"}));
}

struct DescribeCase {
    int line;
    std::vector<uint8_t> record;
    std::string expected;
};

TEST(DescribeDeviceEvent, NamesTheEventTypeAndDevice) {
    const DescribeCase cases[] = {
        {__LINE__, InterfaceRecord(Wide(kScaleInterface)), std::string("DeviceArrival: 5 - ") + kScaleInterface},
        {__LINE__, VolumeRecord(1U << 25, 0xABCD), "DeviceArrival: 2 - vol: Z, flags: ABCD"},
        {__LINE__, VolumeRecord(0, 0), "DeviceArrival: 2 - vol: , flags: 0"},
        {__LINE__, HandleRecord(0x77), "DeviceArrival: 6 - vol: "},
        {__LINE__, Header(12, 0), "DeviceArrival: 0 - "},
    };
    for (const DescribeCase& c : cases) {
        SCOPED_TRACE(c.line);
        Log log;
        FakeVolumes volumes{log};
        struct Capture final : IDeviceEvents {
            std::string text;
            void DeviceQueryRemoveFailed(const DeviceNotifications& notifications, uint32_t) override {
                text = DescribeDeviceEvent(notifications, "DeviceArrival");
            }
        } capture;
        DeviceNotifications notifications{volumes, capture};
        DeviceBroadcast b = ParseDeviceBroadcast(c.record);
        notifications.OnWindowMessage(kWmDeviceChange, kDbtDeviceQueryRemoveFailed, &b);
        EXPECT_EQ(capture.text, c.expected);
        EXPECT_EQ(DescribeDeviceEvent(notifications, "Outside"), "Outside: 0 - ");
    }
}

}  // namespace
}  // namespace devices

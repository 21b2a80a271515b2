#include "devices/UsbHidEnum.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/tests/FakeHidEnumPlatform.h"

namespace devices {
namespace {

using testing::FakeHidEnumPlatform;
using testing::RecordedRawDevice;
using testing::RecordedSetupDevice;

constexpr const char* kScalePath =
    R"(\\?\HID#VID_0922&PID_8003#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})";
constexpr const char* kReceiverPath =
    R"(\\?\HID#VID_046D&PID_C52B&MI_01&Col01#8&2b1f9c2a&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})";
constexpr const char* kTouchPath =
    R"(\\?\HID#VID_04F3&PID_2234&Col01#5&3a4b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})";
constexpr const char* kUnknownPath = R"(\\?\HID#VID_FFFF&PID_0001#6&77&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})";

// A desk with a scale, a composite wireless receiver, a touch screen, a device the setup API
// does not know, a keyboard and a mouse, as recorded from the two setup-API passes.
FakeHidEnumPlatform RecordedDesk() {
    FakeHidEnumPlatform p;
    p.raw = {{1, R"(\\?\HID#VID_046D&PID_C31C&MI_00#7&1&0&0000#{884b96c3-56ef-11d1-bc8c-00a0c91405dd})"},
             {kRimTypeHid, kScalePath},
             {0, R"(\\?\HID#VID_046D&PID_C077#7&2&0&0000#{378de44c-56ef-11d1-bc8c-00a0c91405dd})"},
             {kRimTypeHid, kReceiverPath},
             {kRimTypeHid, kTouchPath},
             {kRimTypeHid, kUnknownPath}};
    p.passes["USB"] = {
        {R"(USB\VID_0922&PID_8003&REV_0100)", "HIDClass", "", "USB Postal Scale", "Port_#0002.Hub_#0001",
         "USB Input Device"},
        {R"(USB\VID_046D&PID_C52B&REV_1201)", "USB", "", "", "", "USB Composite Device"},
        {R"(USB\VID_046D&PID_C52B&REV_1201&MI_01)", "HIDClass", "Wireless Receiver", "", "", "USB Input Device"},
        {R"(USB\ROOT_HUB30&VID8086&PID1E31)", "USB", "", "", "", "USB Root Hub"},
    };
    p.passes[""] = {
        {R"(HID\VID_0922&PID_8003&REV_0100)", "HIDClass", "", "", "", "HID-compliant device"},
        {R"(HID\VID_04F3&PID_2234&Col01)", "HIDClass", "", "", "", "HID-compliant touch screen"},
        {R"(ACPI\PNP0303)", "Keyboard", "", "", "", "Standard PS/2 Keyboard"},
        {"", "System", "", "", "", "No hardware ID"},
    };
    return p;
}

TEST(EnumHidDevices, NamesEveryHidDeviceInRawInputOrder) {
    FakeHidEnumPlatform p = RecordedDesk();
    auto records = EnumHidDevices(p);
    ASSERT_TRUE(records.has_value());
    const std::vector<base::ScaleDeviceRecord> expected = {
        {kScalePath, "USB Postal Scale (HIDClass)"},            // the USB node wins over the HID child
        {kReceiverPath, "Wireless Receiver (HIDClass)"},        // the MI_01 interface, not the parent
        {kTouchPath, "HID-compliant touch screen (HIDClass)"},  // found only in the second pass
        {kUnknownPath, kUnknownPath},                           // no match: its path
    };
    EXPECT_EQ(*records, expected);
    EXPECT_EQ(p.openedPasses, (std::vector<std::string>{"USB", ""}));
}

TEST(EnumHidDevices, LooksUpNamesOnlyForDevicesAHidDeviceCanMatch) {
    FakeHidEnumPlatform p = RecordedDesk();
    (void)EnumHidDevices(p);
    EXPECT_EQ(p.propertyReads.count(R"(ACPI\PNP0303)"), 0U);
    EXPECT_EQ(p.propertyReads.count(R"(USB\ROOT_HUB30&VID8086&PID1E31)"), 0U);
    EXPECT_EQ(p.propertyReads.count(""), 0U);
    EXPECT_GT(p.propertyReads[R"(USB\VID_0922&PID_8003&REV_0100)"], 0);
}

struct AbsentCase {
    int line;
    uint32_t osVersion;
    bool rawListFails;
    std::vector<RecordedRawDevice> raw;
};

TEST(EnumHidDevices, GivesNoListWhenNothingCanBeEnumerated) {
    const AbsentCase cases[] = {
        {__LINE__, 500, false, {{kRimTypeHid, kScalePath}}},      // older than 5.1
        {__LINE__, 0, false, {{kRimTypeHid, kScalePath}}},        // version unreadable
        {__LINE__, 601, true, {{kRimTypeHid, kScalePath}}},       // the list calls fail
        {__LINE__, 601, false, {}},                               // no devices
        {__LINE__, 601, false, {{0, "mouse"}, {1, "keyboard"}}},  // no HID-type device
        {__LINE__, 601, false, {{kRimTypeHid, ""}}},              // a HID device without a name
    };
    for (const AbsentCase& c : cases) {
        SCOPED_TRACE(c.line);
        FakeHidEnumPlatform p;
        p.osVersion = c.osVersion;
        p.rawListFails = c.rawListFails;
        p.raw = c.raw;
        EXPECT_FALSE(EnumHidDevices(p).has_value());
    }
}

TEST(EnumHidDevices, NamesFromTheAllEnumeratorPassWhenTheUsbSetCannotOpen) {
    FakeHidEnumPlatform p = RecordedDesk();
    p.passes.erase("USB");
    auto records = EnumHidDevices(p);
    ASSERT_TRUE(records.has_value());
    EXPECT_EQ((*records)[0].displayName, "HID-compliant device (HIDClass)");
    EXPECT_EQ((*records)[1].displayName, kReceiverPath);
}

TEST(EnumHidDevices, GivesIdenticalScalesNumberedRows) {
    FakeHidEnumPlatform p = RecordedDesk();
    const std::string second = R"(\\?\HID#VID_0922&PID_8003#7&99&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})";
    p.raw.push_back({kRimTypeHid, second});
    p.raw.push_back({kRimTypeHid, second + "x"});
    auto records = EnumHidDevices(p);
    ASSERT_TRUE(records.has_value());
    ASSERT_EQ(records->size(), 6U);
    EXPECT_EQ((*records)[4], (base::ScaleDeviceRecord{second, "USB Postal Scale (HIDClass) [2]"}));
    EXPECT_EQ((*records)[5].displayName, "USB Postal Scale (HIDClass) [3]");
}

struct NameCase {
    int line;
    uint32_t osVersion;
    RecordedSetupDevice device;
    std::string expected;
};

TEST(ChooseSetupName, TakesTheFirstNonEmptyNameInOrder) {
    const NameCase cases[] = {
        {__LINE__, 601, {"", "C", "Friendly", "Bus", "Loc", "Desc"}, "Friendly"},
        {__LINE__, 601, {"", "C", "", "Bus", "Loc", "Desc"}, "Bus"},
        {__LINE__, 601, {"", "C", "", "", "Loc", "Desc"}, "Desc"},  // location unused after 5.1
        {__LINE__, 502, {"", "C", "", "", "Loc", "Desc"}, "Desc"},
        {__LINE__, 501, {"", "C", "", "", "Loc", "Desc"}, "Loc"},
        {__LINE__, 501, {"", "C", "", "", "", "Desc"}, "Desc"},
        {__LINE__, 601, {"", "C", "", "", "", ""}, ""},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.line);
        FakeHidEnumPlatform p;
        p.passes[""] = {c.device};
        auto walk = p.OpenSetupDevices("");
        ASSERT_TRUE(walk->Next());
        EXPECT_EQ(ChooseSetupName(*walk, c.osVersion), c.expected);
    }
}

struct DisplayCase {
    int line;
    SetupDeviceInfo info;
    std::string expected;
};

TEST(MakeDisplayName, AppendsTheClassUnlessTheNameEndsWithAParenthesis) {
    const DisplayCase cases[] = {
        {__LINE__, {"Scale", "HIDClass", ""}, "Scale (HIDClass)"},
        {__LINE__, {"Scale (USB)", "HIDClass", ""}, "Scale (USB)"},
        {__LINE__, {"Scale (", "HIDClass", ""}, "Scale ( (HIDClass)"},
        {__LINE__, {"", "HIDClass", ""}, " (HIDClass)"},
        {__LINE__, {"", "", ""}, " ()"},
        {__LINE__, {")", "X", ""}, ")"},
    };
    for (const DisplayCase& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(MakeDisplayName(c.info), c.expected);
    }
}

struct UniqueCase {
    int line;
    std::vector<std::string> names;
    std::vector<std::string> expected;
};

TEST(MakeDisplayNamesUnique, NumbersRepeatedNamesFromTwo) {
    const UniqueCase cases[] = {
        {__LINE__, {"A", "B", "A", "A"}, {"A", "B", "A [2]", "A [3]"}},
        {__LINE__, {"A", "a"}, {"A", "a [2]"}},                    // compared without regard to case
        {__LINE__, {"A [2]", "A", "A"}, {"A [2]", "A", "A [3]"}},  // a taken suffix is skipped
        {__LINE__, {"", ""}, {"", " [2]"}},
        {__LINE__, {}, {}},
    };
    for (const UniqueCase& c : cases) {
        SCOPED_TRACE(c.line);
        std::vector<base::ScaleDeviceRecord> records;
        for (const std::string& n : c.names) {
            records.push_back({"path", n});
        }
        MakeDisplayNamesUnique(records);
        std::vector<std::string> got;
        for (const auto& r : records) {
            got.push_back(r.displayName);
        }
        EXPECT_EQ(got, c.expected);
    }
}

TEST(MakeDisplayNamesUnique, KeepsTheNameWhenEverySuffixIsTaken) {
    std::vector<base::ScaleDeviceRecord> records(102, base::ScaleDeviceRecord{"p", "Scale"});
    MakeDisplayNamesUnique(records);
    EXPECT_EQ(records[1].displayName, "Scale [2]");
    EXPECT_EQ(records[99].displayName, "Scale [100]");
    EXPECT_EQ(records[100].displayName, "Scale");
    EXPECT_EQ(records[101].displayName, "Scale");
}

TEST(SetupDeviceCollection, RefusesAKeyThatIsPresentInAnyLetterCase) {
    SetupDeviceCollection c;
    EXPECT_TRUE(c.Add({"first", "", "ab12"}, "ab12"));
    EXPECT_FALSE(c.Add({"second", "", "AB12"}, "AB12"));
    EXPECT_TRUE(c.Add({"unkeyed", "", ""}, ""));
    EXPECT_TRUE(c.Add({"unkeyed too", "", ""}, ""));
    ASSERT_NE(c.TryGet("AB12"), nullptr);
    EXPECT_EQ(c.TryGet("AB12")->name, "first");
    EXPECT_EQ(c.TryGet(""), nullptr);
    EXPECT_EQ(c.Items().size(), 3U);
}

struct RegCase {
    int line;
    uint32_t type;
    std::vector<uint8_t> data;
    std::string expected;
};

TEST(RegistryPropertyText, ReadsEachRegistryTypeOrNamesIt) {
    const RegCase cases[] = {
        {__LINE__, 1, {'U', 'S', 'B', 0, 'x', 0}, "USB"},
        {__LINE__, 7, {'U', 'S', 'B', '\\', 'V', 0, 'U', 'S', 'B', 0, 0}, "USB\\V"},  // first of a multi-string
        {__LINE__, 2, {'a', 'b'}, "ab"},                                              // no terminator: all of it
        {__LINE__, 3, {0, 'a'}, ""},
        {__LINE__, 4, {0x2A, 0, 0, 0}, "42"},
        {__LINE__, 5, {0xFF, 0xFF, 0xFF, 0xFF}, "4294967295"},
        {__LINE__, 4, {0x2A, 0}, ""},  // too short to be a number
        {__LINE__, 0, {'a', 0}, ""},
        {__LINE__, 11, {1, 2, 3, 4, 5, 6, 7, 8}, "Unknown reg prop type (11)"},
        {__LINE__, 0xFFFFFFFF, {}, "Unknown reg prop type (4294967295)"},
    };
    for (const RegCase& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(RegistryPropertyText(c.type, c.data), c.expected);
    }
}

struct PropCase {
    int line;
    uint32_t type;
    std::u16string data;
    std::string expected;
};

TEST(DevicePropertyText, ReadsStringsAndNamesOtherTypes) {
    const PropCase cases[] = {
        {__LINE__, 18, std::u16string(u"USB Postal Scale\0junk", 21), "USB Postal Scale"},
        {__LINE__, 18, u"Waage \u00E4", "Waage \xC3\xA4"},
        {__LINE__, 18, u"", ""},
        {__LINE__, 0, u"ignored", ""},
        {__LINE__, 7, u"x", "Unknown prop type (7)"},
        {__LINE__, 0x2012, u"x", "Unknown prop type (8210)"},  // a string list
    };
    for (const PropCase& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(DevicePropertyText(c.type, c.data), c.expected);
    }
}

TEST(EnumHidDevices, CopesWithHugeAndOddNames) {
    FakeHidEnumPlatform p;
    const std::string huge = R"(\\?\HID#VID_0922&PID_8003#)" + std::string(6000, 'z');
    p.raw = {{kRimTypeHid, huge}, {kRimTypeHid, "\xFF\xFE odd \x01"}, {kRimTypeHid, "#&\\"}};
    p.passes["USB"] = {{R"(USB\VID_0922&PID_8003)", std::string(4000, 'C'), std::string(10000, 'N'), "", "", ""}};
    auto records = EnumHidDevices(p);
    ASSERT_TRUE(records.has_value());
    ASSERT_EQ(records->size(), 3U);
    EXPECT_EQ((*records)[0].devicePath, huge);
    EXPECT_EQ((*records)[0].displayName.size(), 10000U + 2 + 4000 + 1);
    EXPECT_EQ((*records)[1].displayName, "\xFF\xFE odd \x01");
    EXPECT_EQ((*records)[2].displayName, "#&\\");
}

}  // namespace
}  // namespace devices

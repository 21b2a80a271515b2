#include "devices/UsbHidEnum.h"
#include "devices/DeviceIdKey.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "devices/tests/Fakes.h"

namespace devices {
namespace {

using testing::FakeHidEnumPlatform;

constexpr const char* kScalePath = R"(\\?\HID#VID_0922&PID_8003#7&1a2b3c4d&0&0000#{4d1e55b2})";
constexpr const char* kTwinPath = R"(\\?\HID#VID_0922&PID_8003#7&99&0&0000#{4d1e55b2})";
constexpr const char* kReceiverPath = R"(\\?\HID#VID_046D&PID_C52B&MI_01&Col01#8&2b1f9c2a&0&0000#{4d1e55b2})";
constexpr const char* kTouchPath = R"(\\?\HID#VID_04F3&PID_2234&Col01#5&3a4b&0&0000#{4d1e55b2})";
constexpr const char* kUnknownPath = R"(\\?\HID#VID_FFFF&PID_0001#6&77&0&0000#{4d1e55b2})";

// A desk with two identical scales, a composite wireless receiver, a touch screen, a device the
// setup API does not know, a keyboard and a mouse, as recorded from the two setup-API passes.
TEST(EnumHidDevices, NamesEveryHidDeviceInRawInputOrder) {
    FakeHidEnumPlatform p;
    p.raw = {{1, R"(\\?\HID#VID_046D&PID_C31C&MI_00#7&1#{884b96c3})"},
             {kRimTypeHid, kScalePath},
             {0, R"(\\?\HID#VID_046D&PID_C077#7&2#{378de44c})"},
             {kRimTypeHid, kReceiverPath},
             {kRimTypeHid, kTouchPath},
             {kRimTypeHid, kUnknownPath},
             {kRimTypeHid, ""},
             {kRimTypeHid, kTwinPath}};
    p.passes["USB"] = {
        {R"(USB\VID_0922&PID_8003&REV_0100)", "HIDClass", "", "USB Postal Scale", "Port_#0002.Hub_#0001",
         "USB Input Device"},
        {R"(USB\VID_046D&PID_C52B&REV_1201)", "USB", "", "", "", "USB Composite Device"},
        {R"(USB\VID_046D&PID_C52B&REV_1201&MI_01)", "HIDClass", "Wireless Receiver", "", "", "USB Input Device"},
        {R"(USB\ROOT_HUB30&VID8086&PID1E31)", "USB", "", "", "", "USB Root Hub"}};
    p.passes[""] = {{R"(HID\VID_0922&PID_8003&REV_0100)", "HIDClass", "", "", "", "HID-compliant device"},
                    {R"(HID\VID_04F3&PID_2234&Col01)", "HIDClass", "", "", "", "HID-compliant touch screen"},
                    {R"(ACPI\PNP0303)", "Keyboard", "", "", "", "Standard PS/2 Keyboard"},
                    {"", "System", "", "", "", "No hardware ID"}};
    const std::vector<base::ScaleDeviceRecord> expected = {
        {kScalePath, "USB Postal Scale (HIDClass)"},            // the USB node wins over the HID child
        {kReceiverPath, "Wireless Receiver (HIDClass)"},        // the MI_01 interface, not the parent
        {kTouchPath, "HID-compliant touch screen (HIDClass)"},  // found only in the second pass
        {kUnknownPath, kUnknownPath},                           // no match: its path
        {kTwinPath, "USB Postal Scale (HIDClass) [2]"}};
    EXPECT_EQ(EnumHidDevices(p), expected);
    // Names are looked up only for devices a HID device can match.
    EXPECT_EQ(p.lookedUp,
              (std::set<std::string>{R"(USB\VID_0922&PID_8003&REV_0100)", R"(HID\VID_0922&PID_8003&REV_0100)",
                                     R"(USB\VID_046D&PID_C52B&REV_1201&MI_01)", R"(HID\VID_04F3&PID_2234&Col01)"}));

    p.passes.erase("USB");  // the USB set cannot be opened: the all-enumerator pass names them
    EXPECT_EQ(EnumHidDevices(p).value().at(0).displayName, "HID-compliant device (HIDClass)");
    p.osVersion = 501;
    EXPECT_EQ(EnumHidDevices(p).value().size(), 5U);
}

// The pass over all enumerators walks every device of the system (at every start and refresh):
// it runs only for a HID device the USB pass found nothing for, such as a touch screen on I2C.
TEST(EnumHidDevices, WalksEveryDeviceOnlyForHidDevicesNotFoundUnderUsb) {
    FakeHidEnumPlatform p;
    p.raw = {{kRimTypeHid, kScalePath}};
    p.passes["USB"] = {{R"(USB\VID_0922&PID_8003&REV_0100)", "HIDClass", "", "USB Postal Scale", "", ""}};
    p.passes[""] = {{R"(HID\VID_04F3&PID_2234&Col01)", "HIDClass", "", "", "", "HID-compliant touch screen"}};
    EXPECT_EQ(EnumHidDevices(p).value().at(0).displayName, "USB Postal Scale (HIDClass)");
    EXPECT_EQ(p.opened, std::vector<std::string>{"USB"});
    p.raw.push_back({kRimTypeHid, kTouchPath});
    p.opened.clear();
    EXPECT_EQ(EnumHidDevices(p).value().at(1).displayName, "HID-compliant touch screen (HIDClass)");
    EXPECT_EQ(p.opened, (std::vector<std::string>{"USB", ""}));
}

TEST(EnumHidDevices, GivesNoListWhenNothingCanBeEnumerated) {
    const struct {
        uint32_t osVersion;
        bool rawListFails;
        std::vector<std::pair<uint32_t, std::string>> raw;
    } cases[] = {
        {500, false, {{kRimTypeHid, kScalePath}}},      // older than 5.1
        {601, true, {{kRimTypeHid, kScalePath}}},       // the list calls fail
        {601, false, {{0, "mouse"}, {1, "keyboard"}}},  // no HID-type device
        {601, false, {{kRimTypeHid, ""}}},              // a HID device without a name
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        FakeHidEnumPlatform p;
        p.osVersion = c.osVersion;
        p.rawListFails = c.rawListFails;
        p.raw = c.raw;
        EXPECT_FALSE(EnumHidDevices(p).has_value());
    }
}

// Friendly name, bus-reported description, location (only up to 5.1), device description.
TEST(ChooseSetupName, TakesTheFirstNonEmptyNameInOrder) {
    const std::tuple<uint32_t, testing::RecordedSetupDevice, std::string> cases[] = {
        {601, {"", "C", "Friendly", "Bus", "Loc", "Desc"}, "Friendly"},
        {601, {"", "C", "", "Bus", "Loc", "Desc"}, "Bus"},
        {502, {"", "C", "", "", "Loc", "Desc"}, "Desc"},
        {501, {"", "C", "", "", "Loc", "Desc"}, "Loc"},
    };
    for (const auto& [osVersion, device, expected] : cases) {
        SCOPED_TRACE(expected);
        FakeHidEnumPlatform p;
        p.passes[""] = {device};
        auto walk = p.OpenSetupDevices("");
        ASSERT_TRUE(walk->Next());
        EXPECT_EQ(ChooseSetupName(*walk, osVersion), expected);
    }
}

TEST(MakeDisplayName, AppendsTheClassUnlessTheNameEndsWithAParenthesis) {
    EXPECT_EQ(MakeDisplayName({"Scale", "HIDClass", ""}), "Scale (HIDClass)");
    EXPECT_EQ(MakeDisplayName({"Scale (USB)", "HIDClass", ""}), "Scale (USB)");
    EXPECT_EQ(MakeDisplayName({"Scale (", "HIDClass", ""}), "Scale ( (HIDClass)");
}

TEST(MakeDisplayNamesUnique, NumbersRepeatedNamesFromTwoToAHundred) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"A", "B", "A", "A"}, "A,B,A [2],A [3],"},
        {{"A", "a"}, "A,a [2],"},  // compared without regard to case
        {{"A [2]", "A", "A"}, "A [2],A,A [3],"},
        {std::vector<std::string>(102, "S"), "S,S [2]," + std::string("S [100],S,S,")},  // every suffix taken
    };
    for (const auto& [names, expected] : cases) {
        std::vector<base::ScaleDeviceRecord> records;
        for (const std::string& n : names) {
            records.push_back({"path", n});
        }
        MakeDisplayNamesUnique(records);
        std::string got;
        for (size_t i = 0; i < records.size(); ++i) {
            if (i < 2 || i + 3 >= records.size()) {
                got += records[i].displayName + ",";
            }
        }
        EXPECT_EQ(got, expected);
    }
}

TEST(SetupDeviceCollection, RefusesAKeyThatIsPresentInAnyLetterCase) {
    SetupDeviceCollection c;
    EXPECT_TRUE(c.Add({"first", "", "ab12"}, "ab12"));
    EXPECT_FALSE(c.Add({"second", "", "AB12"}, "AB12"));
    EXPECT_TRUE(c.Add({"unkeyed", "", ""}, ""));
    EXPECT_TRUE(c.Add({"unkeyed too", "", ""}, ""));
    EXPECT_EQ(c.TryGet("AB12")->name, "first");
    EXPECT_EQ(c.TryGet(""), nullptr);
    EXPECT_EQ(c.Items().size(), 3U);
}

TEST(PropertyText, ReadsEachTypeOrNamesIt) {
    const std::tuple<uint32_t, std::vector<uint8_t>, std::string> registry[] = {
        {1, {'U', 'S', 'B', 0, 'x', 0}, "USB"},
        {7, {'U', 'S', 'B', '\\', 'V', 0, 'U', 0, 0}, "USB\\V"},  // the first of a multi-string
        {2, {'a', 'b'}, "ab"},                                    // no terminator: all of it
        {3, {0, 'a'}, ""},
        {4, {0x2A, 0, 0, 0}, "42"},
        {5, {0xFF, 0xFF, 0xFF, 0xFF}, "4294967295"},
        {4, {0x2A, 0, 0}, ""},  // too short to be a number
        {0, {'a', 0}, ""},
        {11, {1, 2, 3, 4}, "Unknown reg prop type (11)"},
    };
    for (const auto& [type, data, expected] : registry) {
        EXPECT_EQ(RegistryPropertyText(type, data), expected) << type;
    }
    EXPECT_EQ(DevicePropertyText(18, std::u16string(u"USB Scale \u00E4\0junk", 16)), "USB Scale \xC3\xA4");
    EXPECT_EQ(DevicePropertyText(0, u"ignored"), "");
    EXPECT_EQ(DevicePropertyText(0x2012, u"x"), "Unknown prop type (8210)");  // a string list
}

// Identifier shapes as the raw-input list and the setup API report them.
TEST(ParseDeviceIdKey, ReducesIdentifiersToVendorProductInterface) {
    const std::pair<std::string, std::string> cases[] = {
        {R"(\\?\HID#VID_0922&PID_8003#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})", "09228003"},
        {R"(\\?\hid#vid_0a1b&pid_2c3d&mi_00#9&abc&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})", "0A1B2C3D00"},
        {R"(USB\VID_046D&PID_C52B&REV_1201&MI_01)", "046DC52B01"},
        {R"(PID_8003&VID_0922)", "09228003"},                             // the pattern fixes the order
        {R"(USB\VID_0922&MI_00)", "0922"},                                // a missing PID ends the alternative
        {R"(PCI\VEN_8086&DEV_1E31&SUBSYS_20F017AA&REV_04)", "80861E31"},  // the second alternative
        {R"(ACPI\PNP0303\4&1D401FB5&0)", "PNP0303"},                      // no tags: second significant token
        {R"(\??\ROOT#SYSTEM#0000#{97ebaacc-95bd-11d0-a3ea-00a0c9223196})", "SYSTEM"},
        {"KEYBOARD", "KEYBOARD"},  // a single token
        {"VIDEO_X", "VIDEO_X"},    // VID must be followed by "_"
        {"0000&??&0000", ""},
        {"USB\\VID_" + std::string(3000, 'A') + "&PID_" + std::string(3000, 'b'),
         std::string(3000, 'A') + std::string(3000, 'B')},
    };
    for (const auto& [id, expected] : cases) {
        EXPECT_EQ(ParseDeviceIdKey(id), expected) << id;
    }
}

TEST(ParseDeviceIdKey, FollowsTheGivenPattern) {
    const std::string id = R"(USB\VID_0922&PID_8003&MI_02)";
    EXPECT_EQ(ParseDeviceIdKey(id, "PID"), "8003");
    EXPECT_EQ(ParseDeviceIdKey(id, "MI VID"), "020922");
    EXPECT_EQ(ParseDeviceIdKey(id, "XYZ|PID"), "8003");
    EXPECT_EQ(ParseDeviceIdKey(id, "XYZ"), "VID_0922");  // falls back to the second token
}

}  // namespace
}  // namespace devices

#include "devices/DeviceIdKey.h"

#include <gtest/gtest.h>

#include <string>

namespace devices {
namespace {

struct KeyCase {
    int line;
    std::string id;
    std::string expected;
};

// Identifier shapes as the raw-input list and the setup API report them.
TEST(ParseDeviceIdKey, ReducesIdentifiersToVendorProductInterface) {
    const KeyCase cases[] = {
        {__LINE__, R"(\\?\HID#VID_0922&PID_8003#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})", "09228003"},
        {__LINE__, R"(\\?\HID#VID_046D&PID_C52B&MI_01&Col02#8&2b1f9c2a&0&0001#{4d1e55b2-f16f-11cf-88cb-001111000030})",
         "046DC52B01"},
        {__LINE__, R"(\\?\hid#vid_0a1b&pid_2c3d&mi_00#9&abc&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})",
         "0A1B2C3D00"},
        {__LINE__, R"(USB\VID_0922&PID_8003&REV_0100)", "09228003"},
        {__LINE__, R"(USB\VID_046D&PID_C52B&REV_1201&MI_01)", "046DC52B01"},
        {__LINE__, R"(HID\VID_0922&PID_8003\VS0001)", "09228003"},
        {__LINE__, R"(PID_8003&VID_0922)", "09228003"},  // the pattern fixes the order
        {__LINE__, R"(USB\VID_0922&MI_00)", "0922"},     // a missing PID stops the alternative
        {__LINE__, R"(PCI\VEN_8086&DEV_1E31&SUBSYS_20F017AA&REV_04)", "80861E31"},  // second alternative
        {__LINE__, R"(ACPI\PNP0303\4&1D401FB5&0)", "PNP0303"},                      // no tags: second significant token
        {__LINE__, R"(ROOT\VSCALE\0000)", "VSCALE"},
        {__LINE__, R"(\??\ROOT#SYSTEM#0000#{97ebaacc-95bd-11d0-a3ea-00a0c9223196})", "SYSTEM"},
        {__LINE__, R"(\\?\HID#{00001124-0000-1000-8000-00805f9b34fb}_VID&0002046d_PID&c52b#9&1&0#{x})", "HID"},
        {__LINE__, R"(KEYBOARD)", "KEYBOARD"},  // a single token
        {__LINE__, R"(VIDEO_X)", "VIDEO_X"},    // VID must be followed by "_"
        {__LINE__, R"(VID_)", "VID_"},          // a tag with no value gives nothing
        {__LINE__, R"(USB\\VID_1)", "1"},       // empty tokens are skipped
        {__LINE__, "", ""},
        {__LINE__, R"(\\?\)", "?"},
        {__LINE__, "&&&###\\\\\\", ""},
        {__LINE__, "0000&??&0000", ""},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(ParseDeviceIdKey(c.id), c.expected);
    }
}

struct PatternCase {
    int line;
    std::string id;
    std::string pattern;
    std::string expected;
};

TEST(ParseDeviceIdKey, FollowsTheGivenPattern) {
    const PatternCase cases[] = {
        {__LINE__, R"(USB\VID_0922&PID_8003&MI_02)", "PID", "8003"},
        {__LINE__, R"(USB\VID_0922&PID_8003&MI_02)", "MI VID", "020922"},
        {__LINE__, R"(USB\VID_0922&PID_8003)", "XYZ|PID", "8003"},
        {__LINE__, R"(USB\VID_0922&PID_8003)", "XYZ", "VID_0922"},  // falls back to the second token
        {__LINE__, R"(USB\VID_0922&PID_8003)", "", "VID_0922"},
        {__LINE__, R"(USB\VID_0922&PID_8003)", "||", "VID_0922"},
    };
    for (const PatternCase& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(ParseDeviceIdKey(c.id, c.pattern), c.expected);
    }
}

TEST(ParseDeviceIdKey, HandlesHugeIdentifiers) {
    const std::string vendor(3000, 'A');
    std::string id = "USB\\VID_" + vendor + "&PID_" + std::string(3000, 'b');
    EXPECT_EQ(ParseDeviceIdKey(id), vendor + std::string(3000, 'B'));
    std::string separators(5000, '#');
    EXPECT_EQ(ParseDeviceIdKey(separators), "");
}

}  // namespace
}  // namespace devices

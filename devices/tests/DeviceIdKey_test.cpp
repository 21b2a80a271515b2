#include "devices/DeviceIdKey.h"

#include <gtest/gtest.h>

#include <string>

namespace devices {
namespace {

// Identifier shapes as the raw-input list and the setup API report them.
TEST(ParseDeviceIdKey, ReducesIdentifiersToVendorProductInterface) {
    const std::pair<std::string, std::string> cases[] = {
        {R"(\\?\HID#VID_0922&PID_8003#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})", "09228003"},
        {R"(\\?\hid#vid_0a1b&pid_2c3d&mi_00#9&abc&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})", "0A1B2C3D00"},
        {R"(USB\VID_046D&PID_C52B&REV_1201&MI_01)", "046DC52B01"},
        {R"(HID\VID_0922&PID_8003\VS0001)", "09228003"},
        {R"(PID_8003&VID_0922)", "09228003"},                             // the pattern fixes the order
        {R"(USB\VID_0922&MI_00)", "0922"},                                // a missing PID ends the alternative
        {R"(PCI\VEN_8086&DEV_1E31&SUBSYS_20F017AA&REV_04)", "80861E31"},  // the second alternative
        {R"(ACPI\PNP0303\4&1D401FB5&0)", "PNP0303"},                      // no tags: second significant token
        {R"(\??\ROOT#SYSTEM#0000#{97ebaacc-95bd-11d0-a3ea-00a0c9223196})", "SYSTEM"},
        {"KEYBOARD", "KEYBOARD"},  // a single token
        {"VIDEO_X", "VIDEO_X"},    // VID must be followed by "_"
        {"VID_", "VID_"},          // a tag with no value gives nothing
        {R"(USB\\VID_1)", "1"},    // empty tokens are skipped
        {"", ""},
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
    EXPECT_EQ(ParseDeviceIdKey(id, "||"), "VID_0922");
}

}  // namespace
}  // namespace devices

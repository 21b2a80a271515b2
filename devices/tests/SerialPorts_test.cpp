#include "devices/serial/SerialPorts.h"

#include <gtest/gtest.h>

namespace devices::serial {
namespace {

// A path taken for a port that is none opens the wrong kind of device; a port missed in the
// remembered path's spelling is never re-selected.
TEST(SerialPortOfPath, OnlyComPortDeviceNames) {
    const std::pair<const char*, std::optional<std::string>> rows[] = {
        {R"(\\.\COM5)", "COM5"},       {R"(\\.\com12)", "COM12"},
        {R"(\\.\COM255)", "COM255"},   {R"(\\.\COM256)", std::nullopt},
        {R"(\\.\COM0)", std::nullopt}, {R"(\\.\COM)", std::nullopt},
        {R"(\\.\C:)", std::nullopt},   {R"(\\?\HID#VID_0922&PID_8003#COM5)", std::nullopt},
        {"COM5", std::nullopt},
    };
    for (const auto& [path, port] : rows) {
        EXPECT_EQ(SerialPortOfPath(path), port) << path;
    }
}

// Text order puts COM10 before COM2; a friendly name keeps its port twice; a port listed by
// two sources shows twice; a name that is no COM port would be opened as a HID device.
TEST(SerialPortRows, OrderedByNumberNamedOnceWithoutTheRepeatedPort) {
    const auto rows = SerialPortRows({{"COM10", ""},
                                      {"com2", "USB Serial Device (COM2)"},
                                      {"COM2", ""},
                                      {"CNCA0", "Null modem"},
                                      {"COM3", "Scale (COM7) link"},
                                      {"bad\\name", "x"}});
    std::string shown;
    for (const base::ScaleDeviceRecord& r : rows) {
        shown += r.devicePath + "=" + r.displayName + "; ";
    }
    EXPECT_EQ(shown, R"(\\.\COM2=COM2: USB Serial Device; \\.\COM3=COM3: Scale (COM7) link; \\.\COM10=COM10; )");
}

}  // namespace
}  // namespace devices::serial

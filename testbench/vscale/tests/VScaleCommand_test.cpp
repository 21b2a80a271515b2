#include "testbench/vscale/VScaleCommand.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vscale {
namespace {

PlugOptions Options(std::string serial,
                    uint16_t vid = 0x0922,
                    uint16_t pid = 0x8003,
                    std::optional<uint8_t> mi = std::nullopt) {
    PlugOptions options;
    options.serial = std::move(serial);
    options.vendorId = vid;
    options.productId = pid;
    options.interfaceNumber = mi;
    return options;
}

PlugOptions EveryOptionSet() {
    PlugOptions options = Options("0123456789012345678901234567890", 1, 2, 0);
    options.revision = 3;
    options.product = "Scale";
    options.reportLength = 8;
    options.intervalMs = 60000;
    options.onChangeOnly = true;
    options.refuseInputRequests = true;
    return options;
}

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ' ' && !quoted) {
            if (!word.empty()) {
                words.push_back(word);
            }
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) {
        words.push_back(word);
    }
    return words;
}

// A parsed plug command in one line, so that a wrong field shows up in the failure message.
std::string Summarize(const PlugOptions& o) {
    return o.serial + " " + DeviceIdTail(o) + " rev=" + std::to_string(o.revision) +
           " len=" + std::to_string(o.reportLength) + " every=" + std::to_string(o.intervalMs) +
           (o.onChangeOnly ? " on-change" : "") + (o.refuseInputRequests ? " no-input-requests" : "") +
           " name=" + o.friendlyName + " product=" + o.product;
}

TEST(VScaleCommandLine, ParsesPlugOptions) {
    struct Case {
        int line;
        std::string args;
        std::string expected;
    } cases[] = {
        {__LINE__, "plug --serial 0001", "0001 VID_0922&PID_8003 rev=256 len=6 every=100 name= product="},
        {__LINE__, "plug --serial 7 --vid 0x1a2b --pid FFFF --rev 0200",
         "7 VID_1A2B&PID_FFFF rev=512 len=6 every=100 name= product="},
        {__LINE__, "plug --serial 0003 --mi 01 --len 8 --interval 250 --on-change",
         "0003 VID_0922&PID_8003&MI_01 rev=256 len=8 every=250 on-change name= product="},
        {__LINE__, "plug --name \"Shipping scale\" --serial 12 --product \"USB Scale\"",
         "12 VID_0922&PID_8003 rev=256 len=6 every=100 name=Shipping scale product=USB Scale"},
        {__LINE__, "plug --serial 1 --mi 0", "1 VID_0922&PID_8003&MI_00 rev=256 len=6 every=100 name= product="},
        {__LINE__, "plug --serial 5 --no-input-requests --on-change",
         "5 VID_0922&PID_8003 rev=256 len=6 every=100 on-change no-input-requests name= product="},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        auto result = ParseCommandLine(Split(c.args));
        ASSERT_TRUE(result.command) << result.error;
        EXPECT_EQ(result.command->kind, CommandKind::Plug);
        EXPECT_EQ(Summarize(result.command->plug), c.expected);
    }
}

TEST(VScaleCommandLine, RejectsMistakesWithAReason) {
    struct Case {
        int line;
        std::string args;
        std::string errorPart;
    } cases[] = {
        {__LINE__, "", "no command"},
        {__LINE__, "plugg --serial 1", "unknown command \"plugg\""},
        {__LINE__, "plug", "needs --serial"},
        {__LINE__, "plug --serial", "--serial needs a value"},
        {__LINE__, "plug --serial 0001 --len 7", "--len wants 6 or 8"},
        {__LINE__, "plug --serial 0001 --vid 10000", "--vid wants a hexadecimal number"},
        {__LINE__, "plug --serial 0001 --vid 12G4", "--vid wants"},
        {__LINE__, "plug --serial 0001 --interval 0", "--interval wants milliseconds"},
        {__LINE__, "plug --serial 0001 --interval 60001", "--interval wants"},
        {__LINE__, "plug --serial 00\\01", "--serial wants"},
        {__LINE__, "plug --serial 0001&MI_00", "--serial wants"},
        {__LINE__, "plug --serial 01234567890123456789012345678901", "--serial wants"},
        {__LINE__, "plug --serial 0001 --weight 5", "does not take the option --weight"},
        {__LINE__, "unplug --serial 0001 --clear", "does not take the option --clear"},
        {__LINE__, "unplug --serial 0001 extra", "does not take \"extra\""},
        {__LINE__, "set --serial 0001 --status 4", "set needs --weight"},
        {__LINE__, "set --serial 0001 --weight 32768", "--weight wants a number from -32768 to 32767"},
        {__LINE__, "set --serial 0001 --weight 1 --exp -129", "--exp wants"},
        {__LINE__, "set --serial 0001 --weight 1 --status 256", "--status wants"},
        {__LINE__, "set --serial 0001 --weight 1x", "--weight wants"},
        {__LINE__, "queue --serial 0001", "queue wants 1 to 64 report bytes"},
        {__LINE__, "queue --serial 0001 03 0x4", "queue wants"},
        {__LINE__, "queue --serial 0001 03 104", "queue wants"},
        {__LINE__, "queue --serial 0001 GG", "queue wants"},
        {__LINE__, "outputs", "needs --serial"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        auto result = ParseCommandLine(Split(c.args));
        EXPECT_FALSE(result.command);
        EXPECT_NE(result.error.find(c.errorPart), std::string::npos) << result.error;
    }
}

TEST(VScaleCommandLine, ParsesTheCommandsThatNameAScale) {
    struct Case {
        int line;
        std::string args;
        CommandKind kind;
        std::string serial;
        ScaleReading reading;
        std::vector<uint8_t> report;
        bool clear;
    } cases[] = {
        {__LINE__, "unplug --serial 0001", CommandKind::Unplug, "0001", {}, {}, false},
        {__LINE__,
         "set --serial 0002 --status 4 --unit 2 --exp -1 --weight 1234",
         CommandKind::Set,
         "0002",
         {4, 2, -1, 1234},
         {},
         false},
        {__LINE__, "set --weight -5 --serial 3", CommandKind::Set, "3", {4, 2, 0, -5}, {}, false},
        {__LINE__,
         "set --serial 3 --weight -32768 --exp 127 --unit 12 --status 0",
         CommandKind::Set,
         "3",
         {0, 12, 127, -32768},
         {},
         false},
        {__LINE__,
         "queue --serial 0001 03 04 02 FF 7B 04",
         CommandKind::Queue,
         "0001",
         {},
         {0x03, 0x04, 0x02, 0xFF, 0x7B, 0x04},
         false},
        {__LINE__, "queue --serial 0001 3 a", CommandKind::Queue, "0001", {}, {0x03, 0x0A}, false},
        {__LINE__, "outputs --serial 0001", CommandKind::Outputs, "0001", {}, {}, false},
        {__LINE__, "outputs --clear --serial 0001", CommandKind::Outputs, "0001", {}, {}, true},
        {__LINE__, "state", CommandKind::State, "", {}, {}, false},
        {__LINE__, "install", CommandKind::Install, "", {}, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        auto result = ParseCommandLine(Split(c.args));
        ASSERT_TRUE(result.command) << result.error;
        EXPECT_EQ(result.command->kind, c.kind);
        EXPECT_EQ(result.command->plug.serial, c.serial);
        EXPECT_EQ(result.command->reading, c.reading);
        EXPECT_EQ(result.command->report, c.report);
        EXPECT_EQ(result.command->clear, c.clear);
    }
}

TEST(VScaleReport, EncodesTheScaleDataReport) {
    struct Case {
        int line;
        uint8_t status, unit;
        int8_t exponent;
        int16_t weight;
        uint8_t length;
        std::string expected;
    } cases[] = {
        {__LINE__, 4, 2, -1, 1147, 6, "03 04 02 FF 7B 04"},
        {__LINE__, 2, 12, 0, 0, 6, "03 02 0C 00 00 00"},
        {__LINE__, 5, 11, -2, -300, 6, "03 05 0B FE D4 FE"},  // negative weight, two's complement
        {__LINE__, 4, 3, 127, 32767, 8, "03 04 03 7F FF 7F 00 00"},
        {__LINE__, 6, 2, -128, -32768, 8, "03 06 02 80 00 80 00 00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(FormatHex(EncodeScaleReport(c.status, c.unit, c.exponent, c.weight, c.length)), c.expected);
    }
}

TEST(VScaleReport, HexRoundTripsAndRejectsWhatItWouldGuessAt) {
    struct Case {
        int line;
        std::vector<std::string> tokens;
        std::optional<std::string> formatted;
    } cases[] = {
        {__LINE__, {"03", "04", "02", "ff", "7B", "04"}, "03 04 02 FF 7B 04"},
        {__LINE__, {"0", "f"}, "00 0F"},
        {__LINE__, {}, ""},
        {__LINE__, {"100"}, std::nullopt},
        {__LINE__, {"0x1"}, std::nullopt},
        {__LINE__, {"-1"}, std::nullopt},
        {__LINE__, {"1", ""}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        auto bytes = ParseHexBytes(c.tokens);
        ASSERT_EQ(bytes.has_value(), c.formatted.has_value());
        if (bytes) {
            EXPECT_EQ(FormatHex(*bytes), *c.formatted);
        }
    }
}

TEST(VScaleIdentity, SpellsDeviceIdsAsWindowsDoes) {
    struct Case {
        int line;
        PlugOptions options;
        std::string usb, hid, path;
    } cases[] = {
        {__LINE__, Options("0001"), "USB\\VID_0922&PID_8003\\0001", "HID\\VID_0922&PID_8003\\0001",
         "\\\\?\\HID#VID_0922&PID_8003#0001#{4d1e55b2-f16f-11cf-88cb-001111000030}"},
        {__LINE__, Options("42", 0xab, 0x1c, 1), "USB\\VID_00AB&PID_001C&MI_01\\42", "HID\\VID_00AB&PID_001C&MI_01\\42",
         "\\\\?\\HID#VID_00AB&PID_001C&MI_01#42#{4d1e55b2-f16f-11cf-88cb-001111000030}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(UsbInstanceId(c.options), c.usb);
        EXPECT_EQ(HidInstanceId(c.options), c.hid);
        EXPECT_EQ(HidInterfacePath(c.options), c.path);
    }
}

TEST(VScaleIdentity, ConfigKeepsEveryOptionTheBusNeeds) {
    struct Case {
        int line;
        PlugOptions options;
        uint8_t flags;
    } cases[] = {
        {__LINE__, Options("0001"), 0},
        {__LINE__, EveryOptionSet(), VSCALE_FLAG_INTERFACE | VSCALE_FLAG_ON_CHANGE | VSCALE_FLAG_NO_INPUT_REQUESTS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        VSCALE_CONFIG config = ToConfig(c.options);
        EXPECT_EQ(config.flags, c.flags);
        EXPECT_EQ(config.serial[sizeof(config.serial) - 1], 0);  // always terminated for the driver
        PlugOptions back = FromConfig(config);
        back.friendlyName = c.options.friendlyName;  // the name lives in setupapi, not in the bus
        EXPECT_EQ(back, c.options);
    }
}

TEST(VScaleState, DescribesAScaleOnOneLine) {
    VSCALE_SCALE_STATE state{};
    std::strcpy(state.config.serial, "0007");
    state.config.vendorId = 0x0922;
    state.config.productId = 0x8003;
    state.config.reportLength = 6;
    state.config.intervalMs = 100;
    state.pnpState = VSCALE_PNP_STARTED;
    state.report.length = 6;
    const uint8_t report[] = {3, 4, 2, 0xFF, 0x7B, 4};
    std::memcpy(state.report.bytes, report, sizeof(report));
    state.queued = 2;
    state.outputs = 1;
    state.reportsSent = 9;
    EXPECT_EQ(FormatScaleState(state),
              "0007  USB\\VID_0922&PID_8003\\0007  len 6  every 100 ms  started  report "
              "03 04 02 FF 7B 04  queued 2  outputs 1  sent 9");
    state.report.length = 1000;  // a damaged length must not read past the report
    state.pnpState = 7;
    EXPECT_NE(FormatScaleState(state).find("  ?  report 03 04 02 FF 7B 04 00"), std::string::npos);
}

}  // namespace
}  // namespace vscale

#include "testbench/vscale/VScaleCommand.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>

namespace vscale {
namespace {

// Words separated by blanks; '_' stands for a blank inside a word.
ParseResult Parse(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;) {
        std::replace(word.begin(), word.end(), '_', ' ');
        words.push_back(word);
    }
    return ParseCommandLine(words);
}

// A parsed command in one line, so that a wrong field shows up in the failure message.
std::string Summarize(const Command& c) {
    const PlugOptions& o = c.plug;
    return std::to_string(static_cast<int>(c.kind)) + " " + o.serial + " " + DeviceIdTail(o) +
           " rev=" + std::to_string(o.revision) + " len=" + std::to_string(o.reportLength) +
           " every=" + std::to_string(o.intervalMs) + (o.onChangeOnly ? " on-change" : "") +
           (o.refuseInputRequests ? " no-input-requests" : "") + " name=" + o.friendlyName + " product=" + o.product +
           " reading=" + std::to_string(c.reading.status) + "/" + std::to_string(c.reading.unit) + "/" +
           std::to_string(c.reading.exponent) + "/" + std::to_string(c.reading.weight) +
           " report=" + FormatHex(c.report) + (c.clear ? " clear" : "");
}

TEST(VScaleCommandLine, ParsesEveryCommandAndOption) {
    const std::string plain = " rev=256 len=6 every=100 name= product= reading=4/2/0/0 report=";
    const std::pair<const char*, std::string> cases[] = {
        {"plug --serial 0001", "1 0001 VID_0922&PID_8003" + plain},
        {"plug --serial 7 --vid 0x1a2b --pid FFFF --rev 0200",
         "1 7 VID_1A2B&PID_FFFF rev=512 len=6 every=100 name= product= reading=4/2/0/0 report="},
        {"plug --serial 0003 --mi 01 --len 8 --interval 60000 --on-change",
         "1 0003 VID_0922&PID_8003&MI_01 rev=256 len=8 every=60000 on-change name= product= reading=4/2/0/0 report="},
        {"plug --name Shipping_scale --serial 12 --product USB_Scale --no-input-requests",
         "1 12 VID_0922&PID_8003 rev=256 len=6 every=100 no-input-requests name=Shipping scale product=USB Scale "
         "reading=4/2/0/0 report="},
        {"plug --serial 1 --mi 0", "1 1 VID_0922&PID_8003&MI_00" + plain},
        {"unplug --serial 0001", "2 0001 VID_0922&PID_8003" + plain},
        {"set --serial 2 --status 4 --unit 2 --exp -1 --weight 1234",
         "3 2 VID_0922&PID_8003 rev=256 len=6 every=100 name= product= reading=4/2/-1/1234 report="},
        {"set --weight -32768 --serial 3 --exp 127 --unit 12 --status 0",
         "3 3 VID_0922&PID_8003 rev=256 len=6 every=100 name= product= reading=0/12/127/-32768 report="},
        {"queue --serial 0001 03 04 02 FF 7B 4", "4 0001 VID_0922&PID_8003" + plain + "03 04 02 FF 7B 04"},
        {"outputs --clear --serial 0001", "5 0001 VID_0922&PID_8003" + plain + " clear"},
        {"state", "6  VID_0922&PID_8003" + plain},
        {"install", "0  VID_0922&PID_8003" + plain},
    };
    for (const auto& [line, expected] : cases) {
        const ParseResult result = Parse(line);
        ASSERT_TRUE(result.command) << line << ": " << result.error;
        EXPECT_EQ(Summarize(*result.command), expected) << line;
    }
}

TEST(VScaleCommandLine, RejectsMistakesWithAReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "no command"},
        {"plugg --serial 1", "unknown command \"plugg\""},
        {"plug", "needs --serial"},
        {"plug --serial", "--serial needs a value"},
        {"plug --serial 0001 --len 7", "--len wants 6 or 8"},
        {"plug --serial 0001 --vid 10000", "--vid wants a hexadecimal number"},
        {"plug --serial 0001 --mi 100", "--mi wants"},
        {"plug --serial 0001 --interval 0", "--interval wants milliseconds"},
        {"plug --serial 0001 --interval 60001", "--interval wants"},
        {"plug --serial 00\\01", "--serial wants"},
        {"plug --serial 01234567890123456789012345678901", "--serial wants"},
        {"plug --serial 1 --product 0123456789012345678901234567890123456789012345678901234567890123", "--product"},
        {"plug --serial 0001 --weight 5", "does not take the option --weight"},
        {"unplug --serial 0001 extra", "does not take \"extra\""},
        {"set --serial 0001 --status 4", "set needs --weight"},
        {"set --serial 0001 --weight 32768", "--weight wants a number from -32768 to 32767"},
        {"set --serial 0001 --weight 1 --exp -129", "--exp wants"},
        {"set --serial 0001 --weight 1 --status 256", "--status wants"},
        {"set --serial 0001 --weight 1x", "--weight wants"},
        {"queue --serial 0001", "queue wants 1 to 64 report bytes"},
        {"queue --serial 0001 GG", "queue wants"},
        {"outputs", "needs --serial"},
    };
    for (const auto& [line, errorPart] : cases) {
        const ParseResult result = Parse(line);
        EXPECT_FALSE(result.command) << line;
        EXPECT_NE(result.error.find(errorPart), std::string::npos) << line << ": " << result.error;
    }
}

TEST(VScaleReport, EncodesTheScaleDataReportAndHex) {
    EXPECT_EQ(FormatHex(EncodeScaleReport(5, 11, -2, -300, 6)), "03 05 0B FE D4 FE");  // two's complement
    EXPECT_EQ(FormatHex(EncodeScaleReport(4, 3, 127, 32767, 8)), "03 04 03 7F FF 7F 00 00");
    EXPECT_EQ(FormatHex(EncodeScaleReport(6, 2, -128, -32768, 6)), "03 06 02 80 00 80");
    EXPECT_EQ(FormatHex(*ParseHexBytes({"0", "f", "a0"})), "00 0F A0");
    for (const char* bad : {"100", "0x1", "-1", ""}) {
        EXPECT_FALSE(ParseHexBytes({"1", bad})) << bad;
    }
}

TEST(VScaleIdentity, SpellsDeviceIdsAsWindowsDoesAndKeepsEveryOptionForTheBus) {
    PlugOptions o;
    o.serial = "42";
    o.vendorId = 0xab;
    o.productId = 0x1c;
    o.interfaceNumber = 1;
    EXPECT_EQ(UsbInstanceId(o) + " " + HidInstanceId(o) + " " + HidInterfacePath(o),
              "USB\\VID_00AB&PID_001C&MI_01\\42 HID\\VID_00AB&PID_001C&MI_01\\42 "
              "\\\\?\\HID#VID_00AB&PID_001C&MI_01#42#{4d1e55b2-f16f-11cf-88cb-001111000030}");
    EXPECT_EQ(ToConfig(PlugOptions{}).flags, 0);
    o.serial = "0123456789012345678901234567890";
    o.revision = 3;
    o.product = "Scale";
    o.reportLength = 8;
    o.intervalMs = 60000;
    o.onChangeOnly = o.refuseInputRequests = true;
    const VSCALE_CONFIG config = ToConfig(o);
    EXPECT_EQ(config.flags, VSCALE_FLAG_INTERFACE | VSCALE_FLAG_ON_CHANGE | VSCALE_FLAG_NO_INPUT_REQUESTS);
    EXPECT_EQ(config.serial[sizeof(config.serial) - 1], 0);  // always terminated for the driver
    EXPECT_EQ(FromConfig(config), o);
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
    state.pnpState = 3;
    state.config.flags = VSCALE_FLAG_ON_CHANGE | VSCALE_FLAG_NO_INPUT_REQUESTS;
    EXPECT_NE(FormatScaleState(state).find("len 6  on-change  no-input-requests  ?  report 03 04 02 FF 7B 04 00"),
              std::string::npos);
}

}  // namespace
}  // namespace vscale

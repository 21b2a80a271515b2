// Serial scales through the real Pesora.exe and the bench's virtual serial scales: one pty per
// protocol (COM5..COM10, COM12) and one where nothing answers (COM11). For each protocol one
// copy of Pesora lists the port, finds the protocol by itself, shows the readings, zeroes the
// scale with the protocol's own command (or cannot, for a scale that only streams), types the
// weight on the hotkey, never shows a weight that garbage or a half frame seems to carry, and
// loses the scale when the port goes and reads it again when it comes back. A second copy,
// started at once, spends the suite's time trying the silent port.
#include <algorithm>
#include <cctype>
#include <memory>

#include "Fixture.h"

namespace {

using namespace std::chrono_literals;

struct Row {
    int line;
    const char* port;
    const char* protocol;  // the simulator's name
    const char* found;     // the status line once detected
    const char* zero;      // the zero command; "" for a scale that only streams
};
const Row kRows[] = {
    {__LINE__, "COM5", "nci", "NCI scale on COM5, 9600 7E1", "Z\r"},
    {__LINE__, "COM6", "sma", "SMA scale on COM6, 9600 8N1", "\nZ\r"},
    {__LINE__, "COM7", "8217", "8217 scale on COM7, 9600 7E1", "Z"},
    {__LINE__, "COM8", "sics", "MT-SICS scale on COM8, 9600 8N1", "Z\r\n"},
    {__LINE__, "COM9", "line", "Continuous scale on COM9, 9600 8N1", ""},
    {__LINE__, "COM10", "toledo", "Toledo scale on COM10, 9600 8N1", ""},
    // The S-prefixed NCI form, whose motion answer has no weight.
    {__LINE__, "COM12", "nci-s", "NCI scale on COM12, 9600 7E1", "Z\r"},
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.protocol << " on " << row.port;
}

// Started once for the whole program; the silent port's copy tries it while the protocols run.
std::unique_ptr<e2e::Pesora> pesora, silent;

struct Copies : ::testing::Environment {
    void SetUp() override {
        silent = std::make_unique<e2e::Pesora>(e2e::PesoraOptions{
            .name = "SerialSilent",
            .settings = e2e::SettingsText({{"SelectedScale", "\\\\.\\COM11"}, {"HotkeyEnabled", "False"}})});
        pesora = std::make_unique<e2e::Pesora>(e2e::PesoraOptions{
            .name = "SerialScales", .settings = e2e::SettingsText({{"Postamble", "|"}, {"InterCharacterDelay", "0"}})});
    }
    void TearDown() override {
        pesora.reset();
        silent.reset();
    }
};
::testing::Environment* const kCopies = ::testing::AddGlobalTestEnvironment(new Copies);

class Serial : public ::testing::TestWithParam<Row> {
  protected:
    void SetUp() override { ASSERT_TRUE(pesora->Started()); }

    // Every weight shown over `span`, sampled every 20 ms, is `weight`.
    static ::testing::AssertionResult OnlyShows(const std::string& weight, e2e::Millis span) {
        const auto end = std::chrono::steady_clock::now() + span;
        while (std::chrono::steady_clock::now() < end) {
            if (const std::string shown = pesora->Weight(); shown != weight) {
                return ::testing::AssertionFailure() << "showed '" << shown << "'";
            }
            ::Sleep(20);
        }
        return ::testing::AssertionSuccess();
    }
};

TEST_P(Serial, DetectsReadsZeroesTypesIgnoresGarbageAndFollowsThePort) {
    const Row& row = GetParam();
    SCOPED_TRACE(row.line);
    e2e::SerialScale scale(row.port);
    ASSERT_TRUE(scale.Do(std::string("proto ") + row.protocol));
    ASSERT_TRUE(scale.Do("set stable 1.25 lb") && scale.ClearReceived());

    // Listed, chosen, found by listening and safe probes only.
    ASSERT_TRUE(pesora->WaitRow(row.port)) << ::testing::PrintToString(pesora->Rows());
    ASSERT_TRUE(pesora->ClickRow(row.port));
    EXPECT_TRUE(pesora->WaitStatus(row.found, 20s)) << pesora->Status();
    EXPECT_TRUE(pesora->WaitWeight("1.25 lb")) << pesora->Weight();
    EXPECT_EQ(scale.Received().find_first_of("ZTCXP"), std::string::npos) << "sent: " << scale.Received();

    // Decimals as the scale sent them, also after a status-only frame.
    ASSERT_TRUE(scale.Do("set motion 1.25 lb"));
    EXPECT_TRUE(pesora->WaitStatus("Scale In Motion")) << pesora->Status();
    ASSERT_TRUE(scale.Do("set stable 0.600 kg"));
    EXPECT_TRUE(pesora->WaitWeight("0.600 kg")) << pesora->Weight();
    EXPECT_TRUE(pesora->WaitStatus(""));

    e2e::Target target("Serial Target");
    ASSERT_TRUE(target.Focus());
    e2e::PressHotkey();
    EXPECT_TRUE(e2e::WaitUntil([&] { return target.Text() == "0.600 kg|"; }, 5s)) << target.Text();

    const std::string zero = row.zero;
    EXPECT_EQ(e2e::Enabled(pesora->Control(IDC_ZERO_BUTTON)), !zero.empty());
    if (!zero.empty()) {
        ASSERT_TRUE(scale.ClearReceived());
        pesora->Click(IDC_ZERO_BUTTON);
        EXPECT_TRUE(e2e::WaitUntil([&] { return scale.Received().find(zero) != std::string::npos; }, 3s))
            << "sent: " << scale.Received();
        EXPECT_TRUE(pesora->WaitWeight("0.000 kg")) << pesora->Weight();  // the scale zeroed
    }

    // The first half of a frame of another weight, then bytes that look like pieces of frames
    // of every protocol: the weight shown stays the scale's.
    ASSERT_TRUE(scale.Do("set stable 1.25 lb"));
    ASSERT_TRUE(pesora->WaitWeight("1.25 lb")) << pesora->Weight();
    ASSERT_TRUE(scale.Do("half 8.88"));
    ASSERT_TRUE(scale.Send("\x02\n 8.88lb\r\xff\x80?S\r\n08.88LB\r\nS 8.88 lb ST,GS,+0008.88"));
    EXPECT_TRUE(OnlyShows("1.25 lb", 1500ms));

    ASSERT_TRUE(scale.Do("unplug"));
    EXPECT_TRUE(pesora->WaitStatus("Scale Not Found")) << pesora->Status();
    ASSERT_TRUE(scale.Do("set stable 2.50 lb") && scale.Do("plug"));
    EXPECT_TRUE(pesora->WaitWeight("2.50 lb", 10s)) << pesora->Weight() << " / " << pesora->Status();
}

INSTANTIATE_TEST_SUITE_P(Protocols, Serial, ::testing::ValuesIn(kRows), [](const auto& info) {
    std::string name = info.param.protocol;
    name.erase(std::remove_if(name.begin(), name.end(), [](char c) { return !std::isalnum(c); }), name.end());
    return name.front() >= '0' && name.front() <= '9' ? "Mt" + name : name;
});

// Detection that finds nothing must say so and leave Pesora running; what it sent on the way,
// at every rate, holds no command that zeroes, tares, prints or powers off. A suite of its own
// after the protocols': the copy has been trying the port all the while.
class SilentPort : public ::testing::TestWithParam<const char*> {};

TEST_P(SilentPort, SaysNoScaleAnswersAndPesoraKeepsRunning) {
    ASSERT_TRUE(silent->Started());
    e2e::SerialScale nothing(GetParam());
    EXPECT_TRUE(silent->WaitStatus(std::string("No scale answers on ") + GetParam(), 60s)) << silent->Status();
    EXPECT_TRUE(silent->process().Running());
    const std::string sent = nothing.Received();
    EXPECT_NE(sent.find("W\r"), std::string::npos) << "no probe reached the port";
    EXPECT_EQ(sent.find_first_of("ZTCXP"), std::string::npos) << "sent: " << sent;

    // A port whose device is not there at all (COM13 leads nowhere) says the same.
    ASSERT_TRUE(silent->ClickRow("COM13")) << ::testing::PrintToString(silent->Rows());
    EXPECT_TRUE(silent->WaitStatus("No scale answers on COM13", 10s)) << silent->Status();
    EXPECT_TRUE(silent->process().Running());
}

// The list follows the system's serial ports as an adapter comes and goes, with nobody pressing
// Refresh Device List: Wine sends no device notices for serial ports, so the system's list of
// them is what is changed here.
TEST_P(SilentPort, ListFollowsPortsThatComeAndGo) {
    ASSERT_TRUE(silent->Started());
    HKEY serialComm = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr, 0, KEY_SET_VALUE,
                                nullptr, &serialComm, nullptr),
              ERROR_SUCCESS);
    static const wchar_t kAdapter[] = L"\\Device\\PesoraTestAdapter";
    static const wchar_t kPort[] = L"COM14";
    ASSERT_EQ(::RegSetValueExW(serialComm, kAdapter, 0, REG_SZ, reinterpret_cast<const BYTE*>(kPort), sizeof kPort),
              ERROR_SUCCESS);
    EXPECT_TRUE(silent->WaitRow("COM14", 5s)) << ::testing::PrintToString(silent->Rows());
    EXPECT_EQ(::RegDeleteValueW(serialComm, kAdapter), ERROR_SUCCESS);
    (void)::RegCloseKey(serialComm);
    EXPECT_TRUE(silent->WaitNoRow("COM14", 5s)) << ::testing::PrintToString(silent->Rows());
}

INSTANTIATE_TEST_SUITE_P(Silent, SilentPort, ::testing::Values("COM11"));

}  // namespace

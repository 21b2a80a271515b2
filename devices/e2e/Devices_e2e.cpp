// The scale list of the real Pesora.exe while virtual scales come and go: which devices are
// listed and under what name, the scale used last chosen again at start-up only by its exact
// path, a click on a row, unplugging the scale being read (reading stops, the hotkey is silent)
// and plugging it back (chosen and read again), another scale only joining the list. One copy
// serves the suite; a second start checks a remembered path that matches no scale exactly.
#include <algorithm>
#include <cctype>
#include <memory>
#include <tuple>

#include "Fixture.h"

namespace {

using namespace std::chrono_literals;
using e2e::Scale;

class Devices : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        scales.clear();
        // Two scales of one make share the first one's name: the second row tells them apart.
        for (const auto& [serial, name, productId] :
             std::vector<std::tuple<std::string, std::string, uint16_t>>{{"7101", "Counter Scale", 0x8701},
                                                                         {"7102", "Test Keyboard", 0x8702},
                                                                         {"7103", "Optical Mouse", 0x8703},
                                                                         {"7104", "Twin Scale", 0x8704},
                                                                         {"7105", "Twin Scale", 0x8704}}) {
            scales.push_back(std::make_unique<Scale>(Scale::Options(serial, name, productId)));
        }
        lastUsed = std::make_unique<Scale>(Scale::Options("7111", "Last Used", 0x8711));
        e2e::ScaleOptions eightBytes = Scale::Options("7121", "Picked", 0x8721);
        eightBytes.reportLength = 8;  // two padding bytes after the weight
        picked = std::make_unique<Scale>(eightBytes);
        // Reports only on change: the weight put on it while it was out must be asked for.
        e2e::ScaleOptions onChange = Scale::Options("7201", "Coming Back", 0x8801);
        onChange.onChangeOnly = true;
        comingBack = std::make_unique<Scale>(onChange);
        lastUsed->SetGrams(1234);
        picked->SetGrams(777);
        e2e::WaitOutRawInputCache();
        pesora = std::make_unique<e2e::Pesora>(e2e::PesoraOptions{
            .name = "DevList", .settings = e2e::SettingsText({{"SelectedScale", lastUsed->Path()}})});
    }
    static void TearDownTestSuite() {
        pesora.reset();
        scales.clear();
        for (auto* scale : {&lastUsed, &picked, &comingBack, &newcomer}) {
            scale->reset();
        }
    }

    static bool WeightHas(std::string_view digits, e2e::Millis timeout = 10s) {
        return e2e::WaitUntil([&] { return pesora->Weight().find(digits) != std::string::npos; }, timeout);
    }
    static int RowOf(const Scale& scale) { return pesora->RowOf(scale.options().friendlyName + " (HIDClass)"); }
    // A running read cycle writes the status every tick: a text put there from outside is gone
    // within a tick or two.
    static bool CycleRuns() {
        (void)::SetWindowTextA(pesora->Control(IDC_STATUS), "probe");
        return e2e::WaitUntil([] { return pesora->Status() != "probe"; }, 1s);
    }

    static inline std::vector<std::unique_ptr<Scale>> scales;
    static inline std::unique_ptr<Scale> lastUsed, picked, comingBack, newcomer;
    static inline std::unique_ptr<e2e::Pesora> pesora;
};

TEST_F(Devices, ListsScalesByTheirPlugAndPlayNameAndChoosesTheOneUsedLast) {
    ASSERT_TRUE(pesora->Started());
    ASSERT_TRUE(pesora->WaitRow("Counter Scale (HIDClass)")) << ::testing::PrintToString(pesora->Rows());
    struct Row {
        int line;
        const char* text;
        int count;
    } rows[] = {
        {__LINE__, "Counter Scale (HIDClass)", 1}, {__LINE__, "Optical Mouse (HIDClass)", 1},
        {__LINE__, "Twin Scale (HIDClass)", 1},    {__LINE__, "Twin Scale (HIDClass) [2]", 1},
        {__LINE__, "Test Keyboard (HIDClass)", 0},
    };
    const std::vector<std::string> shown = pesora->Rows();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        EXPECT_EQ(std::count(shown.begin(), shown.end(), r.text), r.count) << ::testing::PrintToString(shown);
    }
    // Devices without a Plug and Play name would show their raw path: none may be listed.
    for (const std::string& text : shown) {
        EXPECT_EQ(text.find("\\\\?\\HID"), std::string::npos) << text;
    }
    // Reading starts without a click.
    EXPECT_TRUE(WeightHas("1234")) << pesora->Weight();
    EXPECT_EQ(pesora->Selection(), RowOf(*lastUsed));
}

TEST_F(Devices, ClickOnARowReadsThatScale) {
    ASSERT_GE(RowOf(*picked), 0);
    pesora->ClickRow(RowOf(*picked));
    EXPECT_TRUE(WeightHas("777")) << pesora->Weight();
}

TEST_F(Devices, UnplugStopsReadingAndSilencesTheHotkeyAndPlugBackResumes) {
    ASSERT_TRUE(comingBack->SetGrams(2500));
    pesora->ClickRow(RowOf(*comingBack));
    ASSERT_TRUE(WeightHas("2500")) << pesora->Weight();
    e2e::Target target("Devices Target");
    ASSERT_TRUE(target.Focus());
    e2e::PressHotkey();
    // The whole send, unit included, before the target is cleared: a clear between the digits
    // and the unit would leave the unit's letters behind for the silent press below.
    ASSERT_TRUE(e2e::WaitUntil([&] { return target.Text().find("2500 g") != std::string::npos; }, 5s))
        << "the hotkey did not type while the scale was read: " << target.Text();
    target.Clear();

    ASSERT_TRUE(comingBack->Unplug());
    EXPECT_TRUE(e2e::WaitUntil([] { return pesora->Weight().empty(); }, 5s)) << pesora->Weight();
    EXPECT_TRUE(pesora->WaitNoRow("Coming Back (HIDClass)", 5s)) << ::testing::PrintToString(pesora->Rows());
    EXPECT_FALSE(CycleRuns()) << "status rewritten to '" << pesora->Status() << "'";
    ASSERT_TRUE(target.Focus());
    e2e::PressHotkey();
    ::Sleep(1000);  // a send starts within tens of ms, as the press above shows
    EXPECT_EQ(target.Text(), "");

    // The arrival's list refresh must see the scale again, with the parcel put on it meanwhile.
    e2e::WaitOutRawInputCache();
    ASSERT_TRUE(comingBack->Replug());
    ASSERT_TRUE(comingBack->SetGrams(2600));
    EXPECT_TRUE(WeightHas("2600")) << pesora->Weight() << " / " << pesora->Status();
    EXPECT_EQ(pesora->Selection(), RowOf(*comingBack));
    ASSERT_TRUE(target.Focus());
    e2e::PressHotkey();
    EXPECT_TRUE(e2e::WaitUntil([&] { return target.Text().find("2600") != std::string::npos; }, 5s))
        << "the hotkey stayed silent after the scale came back: " << target.Text();
}

TEST_F(Devices, AnotherScalePluggedInOnlyJoinsTheList) {
    ASSERT_TRUE(WeightHas("2600"));
    // The arrival's list refresh must not be served from the list read before.
    e2e::WaitOutRawInputCache();
    newcomer = std::make_unique<Scale>(Scale::Options("7212", "Newcomer", 0x8812));
    ASSERT_TRUE(newcomer->SetGrams(999));
    EXPECT_TRUE(pesora->WaitRow("Newcomer (HIDClass)")) << ::testing::PrintToString(pesora->Rows());
    EXPECT_EQ(pesora->Selection(), RowOf(*comingBack));
    ASSERT_TRUE(comingBack->SetGrams(2601));
    EXPECT_TRUE(WeightHas("2601")) << pesora->Weight();
}

TEST_F(Devices, ExitRemembersTheScaleInUse) {
    ASSERT_TRUE(pesora->Exit());
    EXPECT_EQ(pesora->Setting("SelectedScale"), comingBack->Path());
}

// The remembered path chooses its scale whatever the letter case (Windows may report a device's
// path in another case than it enumerates it), and is kept as it was.
TEST_F(Devices, StartChoosesTheScaleUsedLastByItsPathInAnyCase) {
    std::string otherCase = lastUsed->Path();
    std::transform(otherCase.begin(), otherCase.end(), otherCase.begin(),
                   [](char c) { return static_cast<char>(::toupper(static_cast<unsigned char>(c))); });
    ASSERT_NE(otherCase, lastUsed->Path());
    e2e::Pesora other({.name = "DevCase", .settings = e2e::SettingsText({{"SelectedScale", otherCase}})});
    ASSERT_TRUE(other.Started());
    ASSERT_TRUE(other.WaitRow("Last Used (HIDClass)")) << ::testing::PrintToString(other.Rows());
    EXPECT_EQ(other.Selection(), other.RowOf("Last Used (HIDClass)"));
    EXPECT_TRUE(e2e::WaitUntil([&] { return other.Weight().find("1234") != std::string::npos; }, 10s))
        << other.Weight();
    ASSERT_TRUE(other.Exit());
    EXPECT_EQ(other.Setting("SelectedScale"), otherCase);
}

}  // namespace

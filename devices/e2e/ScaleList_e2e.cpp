// The scale list of the real Pesora.exe against virtual scales: which devices are listed and
// under what name, the scale used last chosen again at start-up, and a click on a row.
#include "ScaleE2e.h"

namespace {

using namespace std::chrono_literals;

using scalee2e::PesoraWithScales;
using scalee2e::Scale;

class ScaleList : public PesoraWithScales {};

TEST_F(ScaleList, ListsScalesByTheirPlugAndPlayNameAndLeavesKeyboardsOut) {
    // Two scales of one make share the first one's name: the second row tells them apart.
    Plug(Scale("7101", "Counter Scale", 0x8701));
    Plug(Scale("7102", "Test Keyboard", 0x8702));
    Plug(Scale("7103", "Optical Mouse", 0x8703));
    Plug(Scale("7104", "Twin Scale", 0x8704));
    Plug(Scale("7105", "Twin Scale", 0x8704));
    scalee2e::WaitOutRawInputCache();
    StartPesora("DevList");
    ASSERT_TRUE(e2e::WaitUntil([&] { return Listed("Counter Scale (HIDClass)"); }, 10s))
        << ::testing::PrintToString(Rows());

    struct Row {
        int line;
        const char* text;
        bool listed;
    } rows[] = {
        {__LINE__, "Counter Scale (HIDClass)", true},  {__LINE__, "Optical Mouse (HIDClass)", true},
        {__LINE__, "Twin Scale (HIDClass)", true},     {__LINE__, "Twin Scale (HIDClass) [2]", true},
        {__LINE__, "Test Keyboard (HIDClass)", false},
    };
    const std::vector<std::string> shown = Rows();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        EXPECT_EQ(std::count(shown.begin(), shown.end(), r.text), r.listed ? 1 : 0) << ::testing::PrintToString(shown);
    }
    // Devices without a Plug and Play name would show their raw path: none may be listed.
    for (const std::string& text : shown) {
        EXPECT_EQ(text.find("\\\\?\\HID"), std::string::npos) << text;
    }
    // Nothing was used before: no row is chosen, nothing is read.
    EXPECT_EQ(e2e::ListSelection(_list), -1);
    EXPECT_EQ(WeightBox(), "");
    EXPECT_EQ(Status(), "");
}

TEST_F(ScaleList, StartChoosesTheScaleUsedLastByItsPathInAnyCase) {
    const e2e::ScaleOptions last = Scale("7111", "Last Used", 0x8711);
    Plug(Scale("7112", "Other Scale", 0x8712));
    Plug(last);
    SetGrams("7111", 1234);
    SetGrams("7112", 4321);
    scalee2e::WaitOutRawInputCache();

    std::string otherCase = e2e::HidPath(last);
    std::transform(otherCase.begin(), otherCase.end(), otherCase.begin(),
                   [](char c) { return static_cast<char>(::toupper(static_cast<unsigned char>(c))); });
    ASSERT_NE(otherCase, e2e::HidPath(last));
    struct Case {
        int line;
        std::string selectedScale;
        bool reads;
    } cases[] = {
        {__LINE__, e2e::HidPath(last), true}, {__LINE__, otherCase, true},  // device paths do not differ by case
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        StartPesora("DevLast", c.selectedScale);
        ASSERT_TRUE(
            e2e::WaitUntil([&] { return Listed("Last Used (HIDClass)") && Listed("Other Scale (HIDClass)"); }, 10s))
            << ::testing::PrintToString(Rows());
        if (c.reads) {
            // Reading starts without a click.
            EXPECT_TRUE(e2e::WaitUntil([&] { return WeightShows("1234"); }, 10s)) << WeightBox();
            EXPECT_EQ(e2e::ListSelection(_list), RowOf("Last Used (HIDClass)"));
        } else {
            EXPECT_EQ(e2e::ListSelection(_list), -1);
            EXPECT_EQ(WeightBox(), "");
        }
        ExitPesora();
        // The remembered path is kept as it was.
        EXPECT_EQ(e2e::ReadIni(e2e::SettingsFileFor("DevLast"), "Settings", "SelectedScale"), c.selectedScale);
    }
}

TEST_F(ScaleList, ClickOnARowReadsThatScaleAndExitRemembersIt) {
    const e2e::ScaleOptions picked = Scale("7121", "Picked", 0x8721);
    Plug(picked);
    Plug(Scale("7122", "Passed Over", 0x8722));
    SetGrams("7121", 777);
    SetGrams("7122", 555);
    scalee2e::WaitOutRawInputCache();
    StartPesora("DevClick");
    ASSERT_TRUE(e2e::WaitUntil([&] { return Listed("Picked (HIDClass)") && Listed("Passed Over (HIDClass)"); }, 10s))
        << ::testing::PrintToString(Rows());
    EXPECT_EQ(WeightBox(), "");

    ClickRow(RowOf("Picked (HIDClass)"));
    EXPECT_TRUE(e2e::WaitUntil([&] { return WeightShows("777"); }, 10s)) << WeightBox();
    ExitPesora();
    EXPECT_EQ(e2e::ReadIni(e2e::SettingsFileFor("DevClick"), "Settings", "SelectedScale"), e2e::HidPath(picked));
}

}  // namespace

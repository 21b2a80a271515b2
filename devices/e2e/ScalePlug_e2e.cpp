// The real Pesora.exe while scales come and go: unplugging the scale being read stops it and
// silences the hotkey, plugging it back resumes reading, another scale only joins the list, the
// zero command reaches the scale.
#include <atomic>
#include <thread>

#include "InProcessTarget.h"
#include "ScaleE2e.h"

namespace {

using namespace std::chrono_literals;

using scalee2e::PesoraWithScales;
using scalee2e::Scale;

// F9, the default hotkey, pressed and released as a user does.
void PressF9() {
    ::keybd_event(VK_F9, 0, 0, 0);
    ::Sleep(30);
    ::keybd_event(VK_F9, 0, KEYEVENTF_KEYUP, 0);
}

class ScalePlug : public PesoraWithScales {};

TEST_F(ScalePlug, UnplugStopsReadingAndSilencesTheHotkeyAndPlugBackResumes) {
    const e2e::ScaleOptions scale = Scale("7201", "Coming Back", 0x8801);
    Plug(scale);
    SetGrams("7201", 2500);
    scalee2e::WaitOutRawInputCache();
    StartPesora("DevReplug", e2e::HidPath(scale));
    ASSERT_TRUE(e2e::WaitUntil([&] { return WeightShows("2500"); }, 10s)) << WeightBox();

    e2e::InProcessTarget target("Scale Target");
    target.Focus();
    PressF9();
    // The whole send, unit included, before the target is cleared: a clear between the digits
    // and the unit would leave the unit's letters behind for the silent press below.
    ASSERT_TRUE(e2e::WaitUntil([&] { return target.Text().find("2500 g") != std::string::npos; }, 5s))
        << "the hotkey did not type while the scale was read: " << target.Text();
    target.Clear();

    Unplug("7201");
    EXPECT_TRUE(e2e::WaitUntil([&] { return WeightBox().empty(); }, 5s)) << WeightBox();
    EXPECT_TRUE(e2e::WaitUntil([&] { return !Listed("Coming Back (HIDClass)"); }, 5s))
        << ::testing::PrintToString(Rows());
    target.Focus();
    PressF9();
    // A press that types nothing has nothing to wait for: a sent send would have arrived well
    // within this second, as the press above shows.
    ::Sleep(1000);
    EXPECT_EQ(target.Text(), "");
    EXPECT_EQ(WeightBox(), "");

    // The arrival's list refresh must see the scale again.
    scalee2e::WaitOutRawInputCache();
    Plug(scale);
    SetGrams("7201", 2600);
    EXPECT_TRUE(e2e::WaitUntil([&] { return WeightShows("2600"); }, 10s)) << WeightBox();
    EXPECT_EQ(e2e::ListSelection(_list), RowOf("Coming Back (HIDClass)"));
    target.Focus();
    PressF9();
    EXPECT_TRUE(e2e::WaitUntil([&] { return target.Text().find("2600") != std::string::npos; }, 5s))
        << "the hotkey stayed silent after the scale came back: " << target.Text();
}

TEST_F(ScalePlug, AnotherScalePluggedInOnlyJoinsTheList) {
    const e2e::ScaleOptions first = Scale("7211", "Read On", 0x8811);
    Plug(first);
    SetGrams("7211", 300);
    scalee2e::WaitOutRawInputCache();
    StartPesora("DevSecond", e2e::HidPath(first));
    ASSERT_TRUE(e2e::WaitUntil([&] { return WeightShows("300"); }, 10s)) << WeightBox();

    // The arrival's list refresh must not be served from the list read at start-up.
    scalee2e::WaitOutRawInputCache();
    Plug(Scale("7212", "Newcomer", 0x8812));
    SetGrams("7212", 999);
    EXPECT_TRUE(e2e::WaitUntil([&] { return Listed("Newcomer (HIDClass)"); }, 10s)) << ::testing::PrintToString(Rows());
    EXPECT_EQ(e2e::ListSelection(_list), RowOf("Read On (HIDClass)"));
    SetGrams("7211", 301);
    EXPECT_TRUE(e2e::WaitUntil([&] { return WeightShows("301"); }, 10s)) << WeightBox();
    EXPECT_FALSE(WeightShows("999"));
}

TEST_F(ScalePlug, ZeroScaleWritesTheZeroReportOnceAndReadingResumes) {
    const e2e::ScaleOptions scale = Scale("7221", "Zeroed", 0x8821);
    Plug(scale);
    SetGrams("7221", 900);
    scalee2e::WaitOutRawInputCache();
    StartPesora("DevZero", e2e::HidPath(scale));
    ASSERT_TRUE(e2e::WaitUntil([&] { return WeightShows("900"); }, 10s)) << WeightBox();

    ASSERT_TRUE(e2e::ClearOutputs("7221"));
    ClickZero();
    const std::vector<std::vector<uint8_t>> zero = {{0x02, 0x02, 0x00, 0x00, 0x00}};
    EXPECT_TRUE(e2e::WaitUntil([&] { return !e2e::Outputs("7221").empty(); }, 5s));
    EXPECT_EQ(e2e::Outputs("7221"), zero);
    SetGrams("7221", 901);
    EXPECT_TRUE(e2e::WaitUntil([&] { return WeightShows("901"); }, 10s)) << WeightBox();
    EXPECT_EQ(e2e::Outputs("7221"), zero);
}

}  // namespace

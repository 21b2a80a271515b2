#include "app/MainWindowLayout.h"

#include <gtest/gtest.h>

#include <set>

#include "app/ShownText.h"

namespace {

// Rounded to the nearest pixel at each resolution; a zero resolution gives no twips.
TEST(Layout, TwipsPixelsAndFontHeightsFollowTheResolution) {
    EXPECT_EQ(app::TwipsToPixels(5445, 96), 363);
    EXPECT_EQ(app::TwipsToPixels(120, 144), 12);
    EXPECT_EQ(app::TwipsToPixels(7, 96), 0);
    EXPECT_EQ(app::TwipsToPixels(8, 96), 1);
    EXPECT_EQ(app::TwipsToPixels(-480000, 96), -32000);
    EXPECT_EQ(app::PixelsToTwips(100, 144), 1000);
    EXPECT_EQ(app::PixelsToTwips(100, 0), 0);
    EXPECT_EQ(app::FontHeightPixels(8.25, 96), -11);
    EXPECT_EQ(app::FontHeightPixels(9, 144), -18);
}

// "Weight (kg):" is wider than the label's 675 twips; the label grows up to the zero button.
// The list and Weight widen only above the threshold.
TEST(Layout, CaptionAndControlsGrowWithinTheirLimits) {
    std::string got;
    for (const int text : {0, 675, 1100, 1860, 5000}) {
        got += std::to_string(app::WeightCaptionWidth(text)) + " ";
    }
    for (const int outer : {3550, 3551, 6000}) {
        got += std::to_string(app::StretchedControlWidth(outer).value_or(-1)) + " ";
    }
    EXPECT_EQ(got, "675 675 1100 1860 1860 -1 3051 5500 ");
}

// Command identifiers must not collide, the dialogs own 1200 and above, and what the user is
// meant to see must fit in the initial client area.
TEST(Layout, ControlsHaveOwnIdsAndTheVisibleOnesLieInTheClientArea) {
    std::set<int> ids;
    std::set<std::string_view> names;
    for (const app::ControlSpec& c : app::MainWindowControls()) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(ids.insert(c.id).second && names.insert(c.name).second);
        EXPECT_TRUE(c.id >= 200 && c.id < 1200);
        if (c.visible && c.name != "Status") {  // Status's label box runs past the edge; its text does not
            EXPECT_LE(c.left + c.width, app::kClientWidthTwips);
            EXPECT_LE(c.top + c.height, app::kClientHeightTwips);
        }
    }
    ASSERT_NE(app::FindControl("Weight"), nullptr);
    EXPECT_EQ(app::FindControl("Weight")->font.points, 36);
    EXPECT_EQ(app::FindControl("nothing"), nullptr);
}

// The Weight box at the next reading: written for a new weight or over what the user typed,
// left alone otherwise (it would repaint on every tick); only a new weight is news to DDE and web
// clients, never the undoing of the user's typing. Each row: the weight shown, whether the user
// typed since, the reading's weight, then whether the box is written and whether that is news.
TEST(WeightBoxText, WrittenForANewWeightOrOverTheUsersTyping) {
    const struct {
        const char* shown;
        bool typed;
        const char* next;
        bool write, news;
    } rows[] = {
        {"1.25", false, "1.25", false, false}, {"1.25", true, "1.25", true, false}, {"1.25", false, "1.30", true, true},
        {"1.25", true, "", true, true},        {"", false, "", false, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.shown) + (r.typed ? " typed, then " : ", then ") + r.next);
        app::WeightBoxText box;
        (void)box.Show(r.shown);
        if (r.typed) {
            box.Edited();
        }
        const app::WeightBoxText::Update update = box.Show(r.next);
        EXPECT_EQ(update.write, r.write);
        EXPECT_EQ(update.changed, r.news);
        EXPECT_FALSE(box.Show(r.next).write) << "the same weight again";
        EXPECT_EQ(box.Weight(), r.next);
    }
}

}  // namespace

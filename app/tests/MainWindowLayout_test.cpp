#include "app/MainWindowLayout.h"

#include <gtest/gtest.h>

#include <set>

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

}  // namespace

#include "app/MainWindowLayout.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(Layout, TwipsFollowTheResolution) {
    struct Row {
        int line;
        int twips;
        int dpi;
        int pixels;
    } rows[] = {
        {__LINE__, 5445, 96, 363},  {__LINE__, 3810, 96, 254},
        {__LINE__, 120, 144, 12},   {__LINE__, 15, 96, 1},
        {__LINE__, 7, 96, 0},       {__LINE__, 8, 96, 1},
        {__LINE__, 5445, 120, 454}, {__LINE__, -480000, 96, -32000},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        EXPECT_EQ(app::TwipsToPixels(r.twips, r.dpi), r.pixels);
    }
    EXPECT_EQ(app::PixelsToTwips(100, 96), 1500);
    EXPECT_EQ(app::PixelsToTwips(100, 144), 1000);
    EXPECT_EQ(app::PixelsToTwips(100, 0), 0);
}

TEST(Layout, FontHeightsInPixels) {
    EXPECT_EQ(app::FontHeightPixels(8.25, 96), -11);
    EXPECT_EQ(app::FontHeightPixels(36, 96), -48);
    EXPECT_EQ(app::FontHeightPixels(13.5, 96), -18);
    EXPECT_EQ(app::FontHeightPixels(9, 144), -18);
}

// "Weight (kg):" is wider than the label's 675 twips; the label grows up to the zero button.
TEST(Layout, WeightCaptionGrowsToItsTextUpToTheZeroButton) {
    struct Row {
        int line;
        int text;
        int width;
    } rows[] = {
        {__LINE__, 0, 675},     {__LINE__, 675, 675},   {__LINE__, 1100, 1100},
        {__LINE__, 1860, 1860}, {__LINE__, 5000, 1860},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        EXPECT_EQ(app::WeightCaptionWidth(r.text), r.width);
    }
}

TEST(Layout, ListAndWeightWidenOnlyAboveTheThreshold) {
    struct Row {
        int line;
        int outer;
        std::optional<int> width;
    } rows[] = {
        {__LINE__, 3550, std::nullopt},
        {__LINE__, 100, std::nullopt},
        {__LINE__, 3551, 3051},
        {__LINE__, 6000, 5500},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        EXPECT_EQ(app::StretchedControlWidth(r.outer), r.width);
    }
}

// Command identifiers must not collide, and the dialogs own 1200 and above.
TEST(Layout, ControlIdsAreUniqueAndBelowTheDialogsRange) {
    std::set<int> ids;
    std::set<std::string_view> names;
    for (const app::ControlSpec& c : app::MainWindowControls()) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(ids.insert(c.id).second);
        EXPECT_TRUE(names.insert(c.name).second);
        EXPECT_LT(c.id, 1200);
        EXPECT_GE(c.id, 200);
    }
}

// What the user is meant to see must fit in the initial client area.
TEST(Layout, VisibleControlsLieInTheClientArea) {
    for (const app::ControlSpec& c : app::MainWindowControls()) {
        SCOPED_TRACE(c.name);
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

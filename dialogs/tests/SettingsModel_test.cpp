#include "dialogs/SettingsModel.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using dialogs::DialogModel;

TEST(SettingsModel, ListIndexesFollowTheValueTables) {
    struct Row {
        int line;
        int32_t sampleRate;
        int sampleIndex;
        int32_t sampleStored;  // what "OK" stores for that row
        int32_t delay;
        int delayIndex;
        int32_t delayStored;
    };
    const Row rows[] = {
        {__LINE__, 50, 0, 50, 0, 0, 0},
        {__LINE__, 100, 1, 100, 1, 1, 1},
        {__LINE__, 200, 2, 200, 5, 2, 5},
        {__LINE__, 300, 3, 300, 10, 3, 10},
        {__LINE__, 400, 4, 400, 20, 4, 20},
        {__LINE__, 500, 5, 500, 50, 5, 50},
        {__LINE__, 500, 5, 500, 100, 6, 100},
        // Values no list holds show the second row, and "OK" stores that row's value.
        {__LINE__, 75, 1, 100, 7, 1, 1},
        {__LINE__, 0, 1, 100, -1, 1, 1},
        {__LINE__, -50, 1, 100, 1000, 1, 1},
        {__LINE__, INT32_MAX, 1, 100, INT32_MIN, 1, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        base::Settings settings;
        settings.SampleRate = r.sampleRate;
        settings.InterCharacterDelay = r.delay;
        const DialogModel model = dialogs::LoadDialogModel(settings);
        EXPECT_EQ(model.sampleRateIndex, r.sampleIndex);
        EXPECT_EQ(model.interCharDelayIndex, r.delayIndex);
        dialogs::ApplyDialogModel(model, settings);
        EXPECT_EQ(settings.SampleRate, r.sampleStored);
        EXPECT_EQ(settings.InterCharacterDelay, r.delayStored);
    }
}

TEST(SettingsModel, UnitsAndEmptyListsMapLikeTheDialog) {
    struct Row {
        int line;
        int32_t selectedUnits;
        int unitsIndex;
    };
    const Row rows[] = {
        {__LINE__, 0, 0}, {__LINE__, 13, 13}, {__LINE__, 7, 7}, {__LINE__, 14, -1}, {__LINE__, -1, -1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        base::Settings settings;
        settings.SelectedUnits = r.selectedUnits;
        const DialogModel model = dialogs::LoadDialogModel(settings);
        EXPECT_EQ(model.unitsIndex, r.unitsIndex);
        if (r.unitsIndex >= 0) {
            EXPECT_FALSE(dialogs::kUnitItems[static_cast<size_t>(r.unitsIndex)].empty());
        }
        dialogs::ApplyDialogModel(model, settings);
        EXPECT_EQ(settings.SelectedUnits, r.unitsIndex);  // a list without selection stores -1
    }
    EXPECT_EQ(dialogs::kUnitItems[13], "Pounds and Ounces");

    // Lists without a selection: the sample rate stays, the delay becomes 1.
    base::Settings settings;
    settings.SampleRate = 300;
    settings.InterCharacterDelay = 50;
    DialogModel model = dialogs::LoadDialogModel(settings);
    model.sampleRateIndex = -1;
    model.interCharDelayIndex = -1;
    dialogs::ApplyDialogModel(model, settings);
    EXPECT_EQ(settings.SampleRate, 300);
    EXPECT_EQ(settings.InterCharacterDelay, 1);
}

// Every control round-trips: loading and confirming without a change alters nothing, and
// each changed control lands in its own field and no other.
TEST(SettingsModel, OkCopiesEveryControlIntoItsOwnField) {
    base::Settings original;
    original.HotKey = 632;
    original.Hotkeystr = "CTRL+F9";
    original.HotkeyEnabled = false;
    original.WeightFormat = "0.0#;\"NEGATIVE\";\"ZERO\"";
    original.SelectedUnits = 12;
    original.IncludeUnits = false;
    original.CommaSeparator = true;
    original.LoadWithWindows = true;
    original.MinimizeAtStartup = true;
    original.SelectedScale = "\\\\?\\hid#vid_0922";
    original.Preamble = "{HOME}";
    original.Postamble = "{TAB}{YEAR}";
    original.TareCommand = "1,2";
    original.SampleRate = 200;
    original.InterCharacterDelay = 20;

    base::Settings same = original;
    dialogs::ApplyDialogModel(dialogs::LoadDialogModel(original), same);
    EXPECT_EQ(same.HotKey, original.HotKey);
    EXPECT_EQ(same.Hotkeystr, original.Hotkeystr);
    EXPECT_EQ(same.HotkeyEnabled, original.HotkeyEnabled);
    EXPECT_EQ(same.WeightFormat, original.WeightFormat);
    EXPECT_EQ(same.SelectedUnits, original.SelectedUnits);
    EXPECT_EQ(same.IncludeUnits, original.IncludeUnits);
    EXPECT_EQ(same.CommaSeparator, original.CommaSeparator);
    EXPECT_EQ(same.LoadWithWindows, original.LoadWithWindows);
    EXPECT_EQ(same.MinimizeAtStartup, original.MinimizeAtStartup);
    EXPECT_EQ(same.Preamble, original.Preamble);
    EXPECT_EQ(same.Postamble, original.Postamble);
    EXPECT_EQ(same.SampleRate, original.SampleRate);
    EXPECT_EQ(same.InterCharacterDelay, original.InterCharacterDelay);

    DialogModel changed = dialogs::LoadDialogModel(original);
    changed.preamble = "a";
    changed.postamble = "b";
    changed.weightFormat = "my own #.000";
    changed.hotkeyText = "SHIFT+CTRL+ALT+X";
    changed.hotkeyCode = 1880;
    changed.hotkeyEnabled = true;
    changed.includeUnits = true;
    changed.commaSeparator = false;
    changed.loadWithWindows = false;
    changed.minimizeAtStartup = false;
    changed.unitsIndex = 13;
    changed.sampleRateIndex = 5;
    changed.interCharDelayIndex = 0;
    base::Settings result = original;
    dialogs::ApplyDialogModel(changed, result);
    EXPECT_EQ(result.Preamble, "a");
    EXPECT_EQ(result.Postamble, "b");
    EXPECT_EQ(result.WeightFormat, "my own #.000");
    EXPECT_EQ(result.Hotkeystr, "SHIFT+CTRL+ALT+X");
    EXPECT_EQ(result.HotKey, 1880);
    EXPECT_TRUE(result.HotkeyEnabled);
    EXPECT_TRUE(result.IncludeUnits);
    EXPECT_FALSE(result.CommaSeparator);
    EXPECT_FALSE(result.LoadWithWindows);
    EXPECT_FALSE(result.MinimizeAtStartup);
    EXPECT_EQ(result.SelectedUnits, 13);
    EXPECT_EQ(result.SampleRate, 500);
    EXPECT_EQ(result.InterCharacterDelay, 0);
    // Fields the dialog does not show are left alone.
    EXPECT_EQ(result.SelectedScale, original.SelectedScale);
    EXPECT_EQ(result.TareCommand, original.TareCommand);
}

TEST(SettingsModel, InsertTokenReplacesTheSelection) {
    const std::string longText(250, 'x');
    struct Row {
        int line;
        std::string_view text;
        size_t selStart;
        size_t selEnd;
        std::string_view token;
        bool inserted;
        std::string result;
        size_t caret;
    };
    const Row rows[] = {
        {__LINE__, "AB", 1, 1, "{YEAR}", true, "A{YEAR}B", 7},
        {__LINE__, "", 0, 0, "{ENTER}", true, "{ENTER}", 7},
        {__LINE__, "AB", 0, 0, "{TAB}", true, "{TAB}AB", 5},
        {__LINE__, "AB", 2, 2, "{TAB}", true, "AB{TAB}", 7},
        {__LINE__, "A12B", 1, 3, "{DAY}", true, "A{DAY}B", 6},
        {__LINE__, "ABCD", 0, 4, "{UP}", true, "{UP}", 4},
        // A reversed or stale selection never cuts outside the text.
        {__LINE__, "A12B", 3, 1, "{DAY}", true, "A{DAY}B", 6},
        {__LINE__, "AB", 9, 40, "{END}", true, "AB{END}", 7},
        // The result must fit the longest text the settings file keeps.
        {__LINE__, longText, 250, 250, "{HOME}", false, "", 0},
        {__LINE__, longText, 250, 250, "{UP}", true, longText + "{UP}", 254},
        {__LINE__, longText, 0, 10, "{SECOND}", true, "{SECOND}" + longText.substr(10), 8},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        const auto edit = dialogs::InsertToken(r.text, r.selStart, r.selEnd, r.token);
        ASSERT_EQ(edit.has_value(), r.inserted);
        if (edit) {
            EXPECT_EQ(edit->text, r.result);
            EXPECT_EQ(edit->caret, r.caret);
        }
    }
}

TEST(SettingsModel, AdvancedTogglesBetweenTheTwoWidths) {
    struct Row {
        int line;
        int dpi;
        int narrowPx;
        int widePx;
    };
    const Row rows[] = {
        {__LINE__, 96, 315, 608},
        {__LINE__, 120, 394, 760},
        {__LINE__, 144, 473, 912},  // 472.5 rounds up
        {__LINE__, 192, 630, 1216},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        EXPECT_EQ(dialogs::TwipsToPixels(dialogs::kNarrowWidthTwips, r.dpi), r.narrowPx);
        EXPECT_EQ(dialogs::TwipsToPixels(dialogs::kWideWidthTwips, r.dpi), r.widePx);
        // Pressed twice from the opening width, the dialog is back where it started.
        const int once = dialogs::NextDialogWidthPx(r.narrowPx, r.dpi);
        EXPECT_EQ(once, r.widePx);
        EXPECT_EQ(dialogs::NextDialogWidthPx(once, r.dpi), r.narrowPx);
        // A window the system made narrower still counts as narrow; any wider one as wide.
        EXPECT_EQ(dialogs::NextDialogWidthPx(r.narrowPx - 20, r.dpi), r.widePx);
        EXPECT_EQ(dialogs::NextDialogWidthPx(r.narrowPx + 1, r.dpi), r.narrowPx);
    }
}

}  // namespace

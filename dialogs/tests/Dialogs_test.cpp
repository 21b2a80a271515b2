#include <gtest/gtest.h>

#include <string>

#include "dialogs/ProgramInfo.h"
#include "dialogs/SettingsModel.h"
#include "weighing/WeightFormatting.h"

namespace dialogs {
namespace {

// Each list row shows the value "OK" stores for it, and the units list is the formatting's.
TEST(SettingsModel, ListRowsShowTheValuesTheyStore) {
    ASSERT_EQ(kSampleRateItems.size(), kSampleRates.size());
    for (size_t i = 0; i < kSampleRates.size(); ++i) {
        EXPECT_EQ(kSampleRateItems[i], std::to_string(kSampleRates[i]) + " ms");
        EXPECT_EQ(std::pair(SampleRateIndex(kSampleRates[i]), SampleRateForIndex(int(i))),
                  std::pair(int(i), std::optional(kSampleRates[i])));
    }
    ASSERT_EQ(kInterCharDelayItems.size(), kInterCharDelays.size());
    for (size_t i = 0; i < kInterCharDelays.size(); ++i) {
        EXPECT_EQ(kInterCharDelayItems[i], std::to_string(kInterCharDelays[i]) + " ms");
        EXPECT_EQ(std::pair(InterCharDelayIndex(kInterCharDelays[i]), InterCharDelayForIndex(int(i))),
                  std::pair(int(i), kInterCharDelays[i]));
    }
    for (size_t i = 0; i < kUnitItems.size(); ++i) {
        EXPECT_EQ(kUnitItems[i], weighing::kUnits.at(i).listItem);
    }
}

// Values no list holds (a hand-edited file) show the second row, "100 ms" and "1 ms"; a list
// without a selection keeps the sample rate and stores a delay of 1; units outside 0..13 show no
// selection, which stores -1.
TEST(SettingsModel, ValuesNoListHoldsAndListsWithoutSelection) {
    for (const int32_t odd : {75, -50, 7, 1000, INT32_MAX, INT32_MIN}) {
        EXPECT_EQ(std::pair(SampleRateIndex(odd), InterCharDelayIndex(odd)), std::pair(1, 1)) << odd;
    }
    EXPECT_EQ(SampleRateForIndex(6), std::nullopt);
    for (const int row : {-1, 7}) {
        EXPECT_EQ(std::pair(SampleRateForIndex(row), InterCharDelayForIndex(row)),
                  std::pair(std::optional<int32_t>(), 1));
    }
    for (const auto& [selected, index] : {std::pair(0, 0), {13, 13}, {14, -1}, {-1, -1}}) {
        EXPECT_EQ(UnitsIndex(selected), index) << selected;
    }
    base::Settings settings;
    settings.SampleRate = 300;
    settings.InterCharacterDelay = 50;
    settings.SelectedUnits = 14;
    DialogModel model = LoadDialogModel(settings);
    model.sampleRateIndex = model.interCharDelayIndex = -1;
    ApplyDialogModel(model, settings);
    EXPECT_EQ(std::tuple(settings.SampleRate, settings.InterCharacterDelay, settings.SelectedUnits),
              std::tuple(300, 1, -1));
}

// Every control round-trips into its own field and no other: one check box set at a time, and
// every text and list its own value.
TEST(SettingsModel, OkCopiesEveryControlIntoItsOwnFieldAndLoadReadsItBack) {
    for (int field = 0; field < 7; ++field) {
        DialogModel model{"pre", "post", "0.0#", "CTRL+F9", 632,    false, false, false,  false,  false,
                          12,    2,      4,      false,     "1500", false, "700", "0.25", "8080", "http://a.example"};
        bool* const checks[] = {&model.hotkeyEnabled,   &model.includeUnits,      &model.commaSeparator,
                                &model.loadWithWindows, &model.minimizeAtStartup, &model.stableOnly,
                                &model.autoSend};
        *checks[field] = true;
        base::Settings settings;
        ApplyDialogModel(model, settings);
        EXPECT_EQ(LoadDialogModel(settings), model) << field;
    }
}

// "OK" refuses a value out of range, naming its field; blanks around a number and a decimal comma
// are fine. A port the file holds that the endpoint cannot use shows as 0 (off) and passes.
TEST(SettingsModel, OkRefusesValuesOutOfRangeNamingTheField) {
    const struct {
        std::string DialogModel::*field;
        std::string text;
        std::string refusal;  // the start of the message; empty when accepted
    } rows[] = {
        {&DialogModel::stableWaitMs, "10000", ""},      {&DialogModel::stableWaitMs, "10001", "Wait for a stable"},
        {&DialogModel::stableWaitMs, "-1", "Wait"},     {&DialogModel::settleMs, " 5000 ", ""},
        {&DialogModel::settleMs, "5001", "Settle"},     {&DialogModel::settleMs, "", "Settle"},
        {&DialogModel::autoSendMin, "1,25", ""},        {&DialogModel::autoSendMin, "1.2.5", "Minimum"},
        {&DialogModel::autoSendMin, "-0.5", "Minimum"}, {&DialogModel::autoSendMin, ".", "Minimum"},
        {&DialogModel::webPort, "65535", ""},           {&DialogModel::webPort, "65536", "Web port"},
        {&DialogModel::webPort, "80a", "Web port"},     {&DialogModel::webOrigins, std::string(255, 'o'), "Allowed"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text);
        DialogModel model = LoadDialogModel(base::Settings{});
        model.*r.field = r.text;
        EXPECT_EQ(CheckDialogModel(model).value_or("").substr(0, r.refusal.size()), r.refusal);
        EXPECT_EQ(CheckDialogModel(model).has_value(), !r.refusal.empty());
    }
    base::Settings settings{.WebPort = 70000};
    const DialogModel model = LoadDialogModel(settings);
    EXPECT_EQ(CheckDialogModel(model), std::nullopt);
    ApplyDialogModel(model, settings);
    EXPECT_EQ(settings.WebPort, 0);
}

// A reversed or stale selection never cuts outside the text; the result must fit the longest
// text the settings file keeps.
TEST(SettingsModel, InsertTokenReplacesTheSelection) {
    const std::string x250(250, 'x');
    // clang-format off
    struct Row { std::string_view text; size_t selStart, selEnd; std::string_view token; std::optional<TextEdit> edit; };
    const Row rows[] = {
        {"AB", 1, 1, "{YEAR}", TextEdit{"A{YEAR}B", 7}}, {"", 0, 0, "{ENTER}", TextEdit{"{ENTER}", 7}},
        {"AB", 2, 2, "{TAB}", TextEdit{"AB{TAB}", 7}}, {"A12B", 1, 3, "{DAY}", TextEdit{"A{DAY}B", 6}},
        {"ABCD", 0, 4, "{UP}", TextEdit{"{UP}", 4}}, {"A12B", 3, 1, "{DAY}", TextEdit{"A{DAY}B", 6}},
        {"AB", 9, 40, "{END}", TextEdit{"AB{END}", 7}}, {x250, 250, 250, "{HOME}", std::nullopt},
        {x250, 250, 250, "{UP}", TextEdit{x250 + "{UP}", 254}},
        {x250, 0, 10, "{SECOND}", TextEdit{"{SECOND}" + x250.substr(10), 8}},
    };
    // clang-format on
    for (const Row& r : rows) {
        EXPECT_EQ(InsertToken(r.text, r.selStart, r.selEnd, r.token), r.edit) << r.text << " " << r.token;
    }
}

// Pressed twice from the opening width, the dialog is back where it started; a window the
// system made narrower still counts as narrow, any wider one as wide. 472.5 px rounds up.
TEST(SettingsModel, AdvancedTogglesBetweenTheTwoWidths) {
    for (const auto& [dpi, narrow, wide] :
         {std::tuple(96, 315, 608), {144, 473, 912}, {192, 630, 1216}, {0, 315, 608}}) {
        EXPECT_EQ(std::pair(TwipsToPixels(kNarrowWidthTwips, dpi), TwipsToPixels(kWideWidthTwips, dpi)),
                  std::pair(narrow, wide));
        EXPECT_EQ(std::pair(NextDialogWidthPx(narrow, dpi), NextDialogWidthPx(wide, dpi)), std::pair(wide, narrow));
        EXPECT_EQ(std::pair(NextDialogWidthPx(narrow - 20, dpi), NextDialogWidthPx(narrow + 1, dpi)),
                  std::pair(wide, narrow));
    }
}

TEST(ProgramInfo, HelpFileSitsBesideTheProgramAndTheAboutBoxStatesTheVersion) {
    for (const auto& [folder, path] :
         {std::pair("C:\\Program Files\\Pesora", "C:\\Program Files\\Pesora\\PesoraHelp.chm"),
          {"C:\\", "C:\\PesoraHelp.chm"},
          {"", "PesoraHelp.chm"}}) {
        EXPECT_EQ(HelpFilePath(folder), path);
        EXPECT_NE(HelpMissingMessage(path).find(path), std::string::npos);
        EXPECT_NE(HelpFailedMessage(path).find(path), std::string::npos);
    }
    EXPECT_EQ(AboutVersionText(10, 12, 345), "Pesora v10.12.345");
    EXPECT_EQ(AboutVersionText(65535, 0, 65535), "Pesora v65535.0.65535");
}

}  // namespace
}  // namespace dialogs

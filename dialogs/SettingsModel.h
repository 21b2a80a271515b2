#pragma once
// What the settings dialog shows, built from the settings record, and what "OK" makes of it.
// The dialog procedure only moves these values between its controls and this code.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/model/Settings.h"

namespace dialogs {

// The drop-down lists, in their order.
inline constexpr std::array<std::string_view, 13> kTokenItems = {
    "{ENTER}", "{TAB}",   "{DOWN}", "{UP}",   "{HOME}",   "{END}",    "{CENTURY}",
    "{YEAR}",  "{MONTH}", "{DAY}",  "{HOUR}", "{MINUTE}", "{SECOND}",
};
inline constexpr std::array<std::string_view, 5> kFormatItems = {
    "0.0", "0.00", "0.0#;(-0.0#)", "0.0#;(-0.0#);\"ZERO\"", "0.0#;\"NEGATIVE\";\"ZERO\"",
};
inline constexpr std::array<std::string_view, 14> kUnitItems = {
    "Scale Default", "Milligrams",  "Grams",      "Kilograms",   "Carats", "Taels",  "Grains",
    "Pennyweights",  "Metric Tons", "Avoir Tons", "Troy Ounces", "Ounces", "Pounds", "Pounds and Ounces",
};
inline constexpr std::array<int32_t, 6> kSampleRates = {50, 100, 200, 300, 400, 500};
inline constexpr std::array<std::string_view, 6> kSampleRateItems = {"50 ms",  "100 ms", "200 ms",
                                                                     "300 ms", "400 ms", "500 ms"};
inline constexpr std::array<int32_t, 7> kInterCharDelays = {0, 1, 5, 10, 20, 50, 100};
inline constexpr std::array<std::string_view, 7> kInterCharDelayItems = {"0 ms",  "1 ms",  "5 ms",  "10 ms",
                                                                         "20 ms", "50 ms", "100 ms"};

// Longest text a setting keeps across a restart: the settings file is read back through a
// 255-character buffer, so the text boxes accept no more than this.
inline constexpr size_t kMaxSettingText = 254;

// The dialog's widths in twips: the basic column alone, and both columns.
inline constexpr int kNarrowWidthTwips = 4725;
inline constexpr int kWideWidthTwips = 9120;

// List index <-> setting value. A value no list holds shows the "100 ms" / "1 ms" row.
[[nodiscard]] int SampleRateIndex(int32_t sampleRate);
[[nodiscard]] std::optional<int32_t> SampleRateForIndex(int index);  // nothing when no row
[[nodiscard]] int InterCharDelayIndex(int32_t delay);
[[nodiscard]] int32_t InterCharDelayForIndex(int index);  // 1 when no row
[[nodiscard]] int UnitsIndex(int32_t selectedUnits);      // -1 (no selection) outside 0..13

// The dialog's controls as values. Indexes are list rows, -1 for no selection.
struct DialogModel {
    std::string preamble;
    std::string postamble;
    std::string weightFormat;
    std::string hotkeyText;  // the working hotkey text, shown in the hotkey box
    int32_t hotkeyCode = 0;  // the working hotkey code
    bool hotkeyEnabled = false;
    bool includeUnits = false;
    bool commaSeparator = false;
    bool loadWithWindows = false;
    bool minimizeAtStartup = false;
    int unitsIndex = -1;
    int sampleRateIndex = -1;
    int interCharDelayIndex = -1;
    // The page "More...": the settled weight and the web endpoint. Numbers as typed.
    bool stableOnly = false;
    std::string stableWaitMs;
    bool autoSend = false;
    std::string settleMs;
    std::string autoSendMin;
    std::string webPort;
    std::string webOrigins;
    bool operator==(const DialogModel&) const = default;
};

[[nodiscard]] DialogModel LoadDialogModel(const base::Settings& settings);

// Why "OK" cannot take the controls, naming the field; nothing when every value is in range.
[[nodiscard]] std::optional<std::string> CheckDialogModel(const DialogModel& model);

// "OK", once CheckDialogModel found nothing: copies the controls back into the record. The
// caller then gives ReadTimer the new SampleRate.
void ApplyDialogModel(const DialogModel& model, base::Settings& settings);

// A text box's text after a token replaced its selection [selStart, selEnd) (a caret when
// equal), with the caret after the token. Nothing when the result would be longer than
// maxLength: half a token would be a broken keystroke script.
struct TextEdit {
    std::string text;
    size_t caret = 0;
    bool operator==(const TextEdit&) const = default;
};
[[nodiscard]] std::optional<TextEdit> InsertToken(std::string_view text,
                                                  size_t selStart,
                                                  size_t selEnd,
                                                  std::string_view token,
                                                  size_t maxLength = kMaxSettingText);

// Twips to whole pixels at the given dots per inch, rounded to the nearest pixel.
[[nodiscard]] int TwipsToPixels(int twips, int dpi);

// "Advanced...": the dialog's next outer width in pixels, from its current one.
[[nodiscard]] int NextDialogWidthPx(int currentPx, int dpi);

}  // namespace dialogs

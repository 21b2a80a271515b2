#include "dialogs/SettingsModel.h"

#include <algorithm>

namespace dialogs {
namespace {

template <typename Table>
int IndexOf(const Table& table, int32_t value) {
    const auto it = std::find(table.begin(), table.end(), value);
    return it == table.end() ? -1 : static_cast<int>(it - table.begin());
}

template <typename Table>
bool InRange(const Table& table, int index) {
    return index >= 0 && static_cast<size_t>(index) < table.size();
}

}  // namespace

// Hand-edited settings may hold any number; the dialog then shows the row a fresh install
// would use, and "OK" stores that row's value.
int SampleRateIndex(int32_t sampleRate) {
    const int index = IndexOf(kSampleRates, sampleRate);
    return index < 0 ? 1 : index;
}

std::optional<int32_t> SampleRateForIndex(int index) {
    if (!InRange(kSampleRates, index)) {
        return std::nullopt;
    }
    return kSampleRates[static_cast<size_t>(index)];
}

int InterCharDelayIndex(int32_t delay) {
    const int index = IndexOf(kInterCharDelays, delay);
    return index < 0 ? 1 : index;
}

int32_t InterCharDelayForIndex(int index) {
    return InRange(kInterCharDelays, index) ? kInterCharDelays[static_cast<size_t>(index)] : 1;
}

int UnitsIndex(int32_t selectedUnits) {
    return InRange(kUnitItems, selectedUnits) ? selectedUnits : -1;
}

DialogModel LoadDialogModel(const base::Settings& settings) {
    DialogModel model;
    model.preamble = settings.Preamble;
    model.postamble = settings.Postamble;
    model.weightFormat = settings.WeightFormat;
    model.hotkeyEnabled = settings.HotkeyEnabled;
    model.includeUnits = settings.IncludeUnits;
    model.commaSeparator = settings.CommaSeparator;
    model.loadWithWindows = settings.LoadWithWindows;
    model.minimizeAtStartup = settings.MinimizeAtStartup;
    model.unitsIndex = UnitsIndex(settings.SelectedUnits);
    model.hotkeyCode = settings.HotKey;
    model.hotkeyText = settings.Hotkeystr;
    model.interCharDelayIndex = InterCharDelayIndex(settings.InterCharacterDelay);
    model.sampleRateIndex = SampleRateIndex(settings.SampleRate);
    return model;
}

// No validation: what the controls hold is what the user asked for. The format expression is
// stored exactly as typed; the weight formatting decides what an odd expression means.
void ApplyDialogModel(const DialogModel& model, base::Settings& settings) {
    settings.Preamble = model.preamble;
    settings.Postamble = model.postamble;
    settings.HotKey = model.hotkeyCode;
    settings.Hotkeystr = model.hotkeyText;
    settings.WeightFormat = model.weightFormat;
    settings.HotkeyEnabled = model.hotkeyEnabled;
    settings.IncludeUnits = model.includeUnits;
    settings.CommaSeparator = model.commaSeparator;
    settings.LoadWithWindows = model.loadWithWindows;
    settings.MinimizeAtStartup = model.minimizeAtStartup;
    settings.SelectedUnits = model.unitsIndex;  // -1 when none; the formatting reads it as 0
    if (const auto rate = SampleRateForIndex(model.sampleRateIndex)) {
        settings.SampleRate = *rate;
    }
    settings.InterCharacterDelay = InterCharDelayForIndex(model.interCharDelayIndex);
}

std::optional<TextEdit> InsertToken(std::string_view text,
                                    size_t selStart,
                                    size_t selEnd,
                                    std::string_view token,
                                    size_t maxLength) {
    // Edit controls report positions in order, but a stale or reversed range must not cut
    // outside the text.
    selStart = std::min(selStart, text.size());
    selEnd = std::min(selEnd, text.size());
    if (selEnd < selStart) {
        std::swap(selStart, selEnd);
    }
    const size_t newLength = text.size() - (selEnd - selStart) + token.size();
    if (newLength > maxLength) {
        return std::nullopt;
    }
    TextEdit edit;
    edit.text.reserve(newLength);
    edit.text.append(text.substr(0, selStart));
    edit.text.append(token);
    edit.text.append(text.substr(selEnd));
    edit.caret = selStart + token.size();
    return edit;
}

int TwipsToPixels(int twips, int dpi) {
    if (dpi <= 0) {
        dpi = 96;
    }
    const long long scaled = static_cast<long long>(twips) * dpi;
    return static_cast<int>((scaled + 720) / 1440);
}

// Compared in pixels, not twips: at 144 dpi 4725 twips round to 473 pixels, which read back
// as 4730 twips and would never count as narrow again.
int NextDialogWidthPx(int currentPx, int dpi) {
    const int narrow = TwipsToPixels(kNarrowWidthTwips, dpi);
    return currentPx <= narrow ? TwipsToPixels(kWideWidthTwips, dpi) : narrow;
}

}  // namespace dialogs

#include "dialogs/SettingsModel.h"

#include <algorithm>
#include <cstdlib>

#include "base/TextUtil.h"

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

std::string_view Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Digits only, blanks around them allowed, within [low, high].
std::optional<int32_t> WholeNumber(std::string_view text, int32_t low, int32_t high) {
    text = Trimmed(text);
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    const long value = std::strtol(std::string(text).c_str(), nullptr, 10);
    if (value < low || value > high) {
        return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

// Digits with at most one decimal separator, "." or "," (whichever the user's keyboard has).
std::optional<double> DecimalNumber(std::string_view text, double low, double high) {
    std::string plain(Trimmed(text));
    std::replace(plain.begin(), plain.end(), ',', '.');
    const bool digitsOnly = plain.find_first_not_of("0123456789.") == std::string::npos;
    const size_t separators = static_cast<size_t>(std::count(plain.begin(), plain.end(), '.'));
    if (!digitsOnly || separators > 1 || plain.find_first_of("0123456789") == std::string::npos) {
        return std::nullopt;
    }
    const double value = std::strtod(plain.c_str(), nullptr);
    if (value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

constexpr int32_t kMaxWebPort = 65535;

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
    model.stableOnly = settings.StableOnly;
    model.stableWaitMs = std::to_string(settings.StableWaitMs);
    model.autoSend = settings.AutoSend;
    model.settleMs = std::to_string(settings.SettleMs);
    model.autoSendMin = base::ShortestDecimal(settings.AutoSendMin);
    // A port the endpoint cannot use keeps it off: shown as what it means, so that "OK" is not
    // refused over a field the user never touched.
    model.webPort = std::to_string(settings.WebPort >= 0 && settings.WebPort <= kMaxWebPort ? settings.WebPort : 0);
    model.webOrigins = settings.WebOrigins;
    return model;
}

std::optional<std::string> CheckDialogModel(const DialogModel& model) {
    if (!WholeNumber(model.stableWaitMs, 0, base::kMaxStableWaitMs)) {
        return "Wait for a stable weight: enter a whole number of milliseconds from 0 to 10000.";
    }
    if (!WholeNumber(model.settleMs, 0, base::kMaxSettleMs)) {
        return "Settle time: enter a whole number of milliseconds from 0 to 5000.";
    }
    if (!DecimalNumber(model.autoSendMin, 0, base::kMaxAutoSendMin)) {
        return "Minimum weight: enter a number from 0 to 1000000.";
    }
    if (!WholeNumber(model.webPort, 0, kMaxWebPort)) {
        return "Web port: enter a whole number from 0 (off) to 65535.";
    }
    if (model.webOrigins.size() > kMaxSettingText) {
        return "Allowed web origins: at most 254 characters.";
    }
    return std::nullopt;
}

// What the basic and advanced columns hold is what the user asked for: the format expression is
// stored exactly as typed, and the weight formatting decides what an odd expression means.
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
    settings.StableOnly = model.stableOnly;
    settings.AutoSend = model.autoSend;
    // Checked before: a value that does not parse is left as it was.
    settings.StableWaitMs = WholeNumber(model.stableWaitMs, 0, base::kMaxStableWaitMs).value_or(settings.StableWaitMs);
    settings.SettleMs = WholeNumber(model.settleMs, 0, base::kMaxSettleMs).value_or(settings.SettleMs);
    settings.AutoSendMin = DecimalNumber(model.autoSendMin, 0, base::kMaxAutoSendMin).value_or(settings.AutoSendMin);
    settings.WebPort = WholeNumber(model.webPort, 0, kMaxWebPort).value_or(settings.WebPort);
    settings.WebOrigins = model.webOrigins;
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

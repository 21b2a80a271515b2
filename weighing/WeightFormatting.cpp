#include "weighing/WeightFormatting.h"

#include <cmath>
#include <optional>
#include <string>

#include "base/model/AppState.h"

namespace weighing {
namespace {

constexpr double kMilligramsPerOunce = 28349.5;
constexpr double kMilligramsPerPound = 453592.0;
constexpr int kLastReportUnit = 12;

void ReplaceAll(std::string& text, char from, char to) {
    for (char& c : text) {
        if (c == from) {
            c = to;
        }
    }
}

std::string_view TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// A serial scale's weight without a format of the user's keeps the decimals the scale sent
// ("0.600" kg stays 0.600, where the general form would drop its zeros), as long as it is shown
// in the scale's own unit. HID reports keep the general form they always had.
std::optional<FormatSpec> SentDecimals(const WeightReading& reading, const base::Settings& settings) {
    const bool converted = settings.SelectedUnits >= kMilligrams && settings.SelectedUnits <= kLastReportUnit &&
                           settings.SelectedUnits != reading.unitCode;
    if (reading.reportId != base::kWideReportId || !settings.WeightFormat.empty() || converted ||
        reading.exponent >= 0) {
        return std::nullopt;
    }
    return ParseFormat("0." + std::string(static_cast<size_t>(-reading.exponent), '0'));
}

}  // namespace

// The ounces are what is left after the whole pounds and are not carried: 2.999 lb shows as
// 002 LB 16.0 OZ. The whole pounds are truncated as a double rather than squeezed into a 32-bit
// integer, since a report can carry up to 32767 x 10^127 pounds.
std::string PoundsAndOuncesText(double milligrams, const NumberSeparators& separators) {
    static const FormatSpec kPoundsFormat = ParseFormat("000");
    static const FormatSpec kOuncesFormat = ParseFormat("00.0");
    const double ounces = milligrams / kMilligramsPerOunce;
    const double pounds = std::trunc(milligrams / kMilligramsPerPound);
    const double restOunces = ounces - pounds * 16;
    return " " + FormatNumber(kPoundsFormat, pounds, separators) + " LB " +
           FormatNumber(kOuncesFormat, restOunces, separators) + " OZ";
}

WeightDisplay FormatWeight(const WeightReading& reading,
                           const base::Settings& settings,
                           const FormatSpec& weightFormat,
                           std::string_view previousSuffix,
                           const NumberSeparators& separators) {
    WeightDisplay out;
    out.unitsSuffix = previousSuffix;

    // To milligrams. An unknown unit code weighs nothing and keeps the suffix shown so far.
    double milligrams = 0.0;
    if (reading.unitCode >= kMilligrams && reading.unitCode <= kLastReportUnit) {
        const Unit& unit = kUnits[reading.unitCode];
        out.unitsSuffix = unit.suffix;
        milligrams = reading.unitCode == kMilligrams ? reading.weight : reading.weight * unit.milligrams;
    }

    // To the chosen unit. Anything outside the list (a hand-edited file, a list without a
    // selection) shows the scale's own unit.
    const int selected = settings.SelectedUnits;
    double value = reading.weight;
    if (selected == kMilligrams) {
        out.unitsSuffix = kUnits[kMilligrams].suffix;
        value = milligrams;
    } else if (selected > kMilligrams && selected <= kLastReportUnit) {
        out.unitsSuffix = kUnits[static_cast<size_t>(selected)].suffix;
        value = milligrams / kUnits[static_cast<size_t>(selected)].milligrams;
    } else if (selected == kPoundsAndOunces) {
        out.unitsSuffix = kUnits[kPoundsAndOunces].suffix;
    }

    if (selected == kPoundsAndOunces) {
        // Built from the magnitude as reported: the under-zero sign is not applied to it, nor
        // the user's format and separator choice.
        out.weightText = PoundsAndOuncesText(milligrams, separators);
        out.weightBox = out.weightText;
        out.value = milligrams / kMilligramsPerPound;
        if (reading.status == kStatusUnderZero && out.value >= 0) {
            out.value = -out.value;
        }
    } else {
        if (reading.status == kStatusUnderZero && value >= 0) {
            value = -value;
        }
        out.value = value;
        const std::optional<FormatSpec> sent = SentDecimals(reading, settings);
        out.weightText = FormatNumber(sent ? *sent : weightFormat, value, separators);
        // Textual, as documented for the setting: thousands separators are swapped as well.
        if (settings.CommaSeparator) {
            ReplaceAll(out.weightText, '.', ',');
        } else {
            ReplaceAll(out.weightText, ',', '.');
        }
        out.weightBox = settings.IncludeUnits ? out.weightText + out.unitsSuffix : out.weightText;
    }
    out.weightCaption = "Weight (" + std::string(TrimBlanks(out.unitsSuffix)) + "):";
    return out;
}

WeightDisplay FormatWeight(const WeightReading& reading,
                           const base::Settings& settings,
                           std::string_view previousSuffix,
                           const NumberSeparators& separators) {
    return FormatWeight(reading, settings, ParseFormat(settings.WeightFormat), previousSuffix, separators);
}

}  // namespace weighing

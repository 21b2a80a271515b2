#pragma once
// From a decoded report to what the program shows and types: unit conversion, the sign of an
// under-zero report, the number text, and the captions of the main window.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/model/Settings.h"
#include "weighing/NumberFormat.h"
#include "weighing/ScaleReport.h"

namespace weighing {

struct Unit {
    std::string_view listItem;  // its entry in the settings dialog's units list
    std::string_view suffix;    // with its leading blank
    double milligrams;          // milligrams in one unit; 0 where no single factor applies
};

// Indexed by unit code (1 to 12 in reports) and by SelectedUnits (0 to 13).
inline constexpr int kScaleDefaultUnits = 0;
inline constexpr int kMilligrams = 1;
inline constexpr int kPoundsAndOunces = 13;
inline constexpr std::array<Unit, 14> kUnits{{
    {"Scale Default", "", 0.0},
    {"Milligrams", " mg", 1.0},
    {"Grams", " g", 1000.0},
    {"Kilograms", " kg", 1000000.0},
    {"Carats", " CD", 200.0},
    {"Taels", " Taels", 37799.4},
    {"Grains", " gr", 64.7989},
    {"Pennyweights", " DWT", 1555.17},
    {"Metric Tons", " t", 1000000000.0},
    {"Avoir Tons", " at", 907184200.0},
    {"Troy Ounces", " oz t", 31103.5},
    {"Ounces", " oz", 28349.5},
    {"Pounds", " lb", 453592.0},
    {"Pounds and Ounces", " lb/oz", 0.0},
}};

struct WeightDisplay {
    std::string weightText;     // WeightText: the number (or the pounds-and-ounces text), no unit
    std::string unitsSuffix;    // UnitsSuffix: " kg" and so on; the previous one for unknown units
    std::string weightBox;      // the Weight box
    std::string weightCaption;  // the the weight caption caption, "Weight (kg):"
    double value = 0.0;         // the number in the chosen unit, signed when under zero (pounds for lb/oz)
};

// `weightFormat` is settings.WeightFormat parsed (callers keep it between cycles); the other
// settings used are SelectedUnits (outside 0 to 13 counts as 0), IncludeUnits, CommaSeparator.
[[nodiscard]] WeightDisplay FormatWeight(const WeightReading& reading,
                                         const base::Settings& settings,
                                         const FormatSpec& weightFormat,
                                         std::string_view previousSuffix,
                                         const NumberSeparators& separators);

// The same, parsing settings.WeightFormat on the way.
[[nodiscard]] WeightDisplay FormatWeight(const WeightReading& reading,
                                         const base::Settings& settings,
                                         std::string_view previousSuffix,
                                         const NumberSeparators& separators);

// " 002 LB 03.5 OZ" for a weight in milligrams.
[[nodiscard]] std::string PoundsAndOuncesText(double milligrams, const NumberSeparators& separators);

}  // namespace weighing

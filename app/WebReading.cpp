#include "app/WebReading.h"

#include <limits>

#include "weighing/ReadCycle.h"
#include "weighing/ScaleReport.h"
#include "weighing/WeightFormatting.h"

namespace app {

// The number is converted again from the report the cycle decoded, with the settings it used:
// the Weight box holds text (a format may print "ZERO"), not a number a page can compute with.
web::Reading MakeWebReading(const base::AppState& state,
                            std::string_view weightBox,
                            std::optional<std::string> scaleName,
                            int64_t nowMs,
                            std::string_view shownStatus) {
    const weighing::WeightReading decoded = weighing::DecodeReport(state.reportBuffer);
    const weighing::WeightDisplay display = weighing::FormatWeight(decoded, state.settings, state.unitsSuffix, {});
    web::Reading r;
    r.weight = display.value;
    const auto first = state.unitsSuffix.find_first_not_of(' ');
    if (first != std::string::npos) {
        r.unit = state.unitsSuffix.substr(first, state.unitsSuffix.find_last_not_of(' ') - first + 1);
    }
    r.text = std::string(weightBox);
    r.statusCode = decoded.status;
    r.status = weighing::StatusCaption(decoded.status);
    if (!state.HasWeight()) {
        // The report last received is not this scale's weight now: status code 0 is "no report".
        r.weight = std::numeric_limits<double>::quiet_NaN();  // served as null
        r.statusCode = 0;
        r.status = shownStatus;
    }
    r.scale = std::move(scaleName);
    r.timeMs = nowMs;
    return r;
}

}  // namespace app

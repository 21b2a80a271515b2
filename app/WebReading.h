#pragma once
// The reading the web endpoint serves, taken from the main window's state after a read cycle.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/model/AppState.h"
#include "web/Reading.h"
#include "weighing/ReadCycle.h"

namespace app {

// `weightBox` is the Weight box's text and `scaleName` the selected row's text (none without a
// selected scale), both already in UTF-8; `nowMs` is the time of the reading. Without a weight
// (no scale read, or none reported yet) the reading has no number, is not stable and carries
// `shownStatus`, the scale's words in the window's status line.
[[nodiscard]] web::Reading MakeWebReading(const base::AppState& state,
                                          std::string_view weightBox,
                                          std::optional<std::string> scaleName,
                                          int64_t nowMs,
                                          std::string_view shownStatus = weighing::kScaleNotFound);

}  // namespace app

#pragma once
// What weighing takes from Windows: the user's number separators and the local time.
#include "weighing/DateTokens.h"
#include "weighing/NumberFormat.h"

namespace weighing {

// LOCALE_SDECIMAL and LOCALE_STHOUSAND of the user's locale; "." and "," where Windows gives none.
[[nodiscard]] NumberSeparators UserNumberSeparators();

// The local date and time now (the clock for ExpandDateTimeTokens).
[[nodiscard]] DateTime LocalDateTime();

}  // namespace weighing

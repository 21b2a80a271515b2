#pragma once
// Date and time tokens in the keystroke templates typed before and after the weight:
// {CENTURY} {YEAR} {MONTH} {DAY} {HOUR} {MINUTE} {SECOND}, in any letter case.
#include <functional>
#include <string>
#include <string_view>

namespace weighing {

// Local date and time as the clock gives it: four-digit year, month 1-12, day 1-31, hour 0-23.
struct DateTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Replaces the first occurrence of each token by two digits, reading `clock` once for each token
// found; everything else, send-keys syntax included, is returned as it stands.
[[nodiscard]] std::string ExpandDateTimeTokens(std::string_view text, const std::function<DateTime()>& clock);

}  // namespace weighing

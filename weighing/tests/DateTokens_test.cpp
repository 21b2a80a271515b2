#include "weighing/DateTokens.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>

#include <string>
#include <vector>

namespace weighing {
namespace {

// A clock that gives the moments it was loaded with, one per reading, and counts the readings.
class SteppingClock {
  public:
    explicit SteppingClock(std::vector<DateTime> moments) : _moments(std::move(moments)) {}
    DateTime operator()() {
        const DateTime now = _moments[std::min(_reads, _moments.size() - 1)];
        ++_reads;
        return now;
    }
    [[nodiscard]] size_t Reads() const { return _reads; }

  private:
    std::vector<DateTime> _moments;
    size_t _reads = 0;
};

TEST(ExpandDateTimeTokens, ReplacesTheFirstOfEachTokenWithTwoDigits) {
    const DateTime march5{2026, 3, 5, 7, 8, 9};
    struct Case {
        int line;
        std::string text;
        std::string expected;
        size_t clockReads;
    };
    const Case cases[] = {
        {__LINE__, "{MONTH}/{DAY}/{CENTURY}{YEAR}{TAB}", "03/05/2026{TAB}", 4},
        {__LINE__, "{HOUR}:{MINUTE}:{SECOND}", "07:08:09", 3},
        {__LINE__, "{year}", "26", 1},
        {__LINE__, "{Year}-{mOnTh}", "26-03", 2},
        {__LINE__, "{HOUR}{HOUR}", "07{HOUR}", 1},
        {__LINE__, "{ENTER}", "{ENTER}", 0},
        {__LINE__, "", "", 0},
        {__LINE__, "{YE AR}YEAR{YEAR", "{YE AR}YEAR{YEAR", 0},
        {__LINE__, "{{DAY}}", "{05}", 1},
        {__LINE__, "+{TAB}{DAY}~", "+{TAB}05~", 1},
        // Replacement digits never form a token with the text around them.
        {__LINE__, "{CENTURY}{DAY}", "2005", 2},
        // Non-ASCII text is left alone and keeps its place.
        {__LINE__, "\xC3\xA9{day}\xC3\xA9",
         "\xC3\xA9"
         "05\xC3\xA9",
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        SteppingClock clock({march5});
        EXPECT_EQ(ExpandDateTimeTokens(c.text, std::ref(clock)), c.expected);
        EXPECT_EQ(clock.Reads(), c.clockReads);
    }
}

TEST(ExpandDateTimeTokens, ReadsTheClockAnewForEachToken) {
    // Across midnight of New Year's Eve: each token shows the moment it was replaced in.
    SteppingClock clock({{2026, 12, 31, 23, 59, 59}, {2027, 1, 1, 0, 0, 0}});
    EXPECT_EQ(ExpandDateTimeTokens("{YEAR}{MONTH}{DAY}", std::ref(clock)), "260101");
}

TEST(ExpandDateTimeTokens, FieldsOutOfRangeStillGiveTwoDigits) {
    struct Case {
        int line;
        DateTime now;
        const char* expected;
    };
    const Case cases[] = {
        {__LINE__, {1999, 12, 31, 23, 59, 59}, "19 99 12 31 23 59 59"},
        {__LINE__, {2100, 1, 1, 0, 0, 0}, "21 00 01 01 00 00 00"},
        {__LINE__, {12345, 123, -7, -100, INT32_MIN, INT32_MAX}, "23 45 23 07 00 48 47"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const auto clock = [&] { return c.now; };
        EXPECT_EQ(ExpandDateTimeTokens("{CENTURY} {YEAR} {MONTH} {DAY} {HOUR} {MINUTE} {SECOND}", clock), c.expected);
    }
}

}  // namespace
}  // namespace weighing

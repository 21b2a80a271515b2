#include "base/TextUtil.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "base/UniqueResource.h"
#include "base/model/Settings.h"
#include "base/tests/Rows.h"

namespace {

using base::testing::ExpectRows;

TEST(TextUtil, Utf16ToUtf8ReplacesLoneSurrogatesAndCaseFoldingIsAsciiOnly) {
    // clang-format off
    ExpectRows<std::u16string, std::string>(base::Utf16ToUtf8, {
        {u"K\u00fcche\u202f\u20ac", "K\xc3\xbc" "che\xe2\x80\xaf\xe2\x82\xac"}, {u"\U0001F600", "\xf0\x9f\x98\x80"},
        {std::u16string(1, u'\xd800') + u"a", "\xef\xbf\xbd" "a"}, {std::u16string(1, u'\xdc00'), "\xef\xbf\xbd"},
        {std::u16string(2, u'\xd800'), "\xef\xbf\xbd\xef\xbf\xbd"},
    });
    // clang-format on
    EXPECT_EQ(base::UpperAscii("hid#vid_0922&pid_8003 az\xc3\xa4"), "HID#VID_0922&PID_8003 AZ\xc3\xa4");
    EXPECT_TRUE(base::EqualsIgnoreCase("\\\\?\\hid#Vs0001", "\\\\?\\HID#VS0001"));
    EXPECT_FALSE(base::EqualsIgnoreCase("abc", "abcd"));
    EXPECT_FALSE(base::EqualsIgnoreCase("\xc3\xa4", "\xc3\x84"));  // not ASCII: compared as is
    EXPECT_EQ((std::set<std::string, base::LessIgnoreCase>{"Path", "PATH", "other"}.size()), 2U);
}

// The rate less fifty, held within 0 to 450.
TEST(ReadWaitMs, IsTheRateLessFiftyHeldWithinZeroTo450) {
    ExpectRows<int32_t, uint32_t>(
        base::ReadWaitMs,
        {{50, 0}, {100, 50}, {499, 449}, {500, 450}, {501, 450}, {49, 0}, {INT32_MIN, 0}, {INT32_MAX, 450}});
}

// Every close is recorded, so a double close or a leak shows as a wrong list. "Nothing held" is
// 0 for one kind and -1 for the other (a file handle's INVALID_HANDLE_VALUE); each kind's empty
// value is a real value to the other, closed like any other.
std::vector<int> g_closed;
void RecordClose(int value) noexcept {
    g_closed.push_back(value);
}
int MinusOne() noexcept {
    return -1;
}
using ZeroEmpty = base::UniqueResource<int, &RecordClose>;
using MinusOneEmpty = base::UniqueResource<int, &RecordClose, &MinusOne>;

TEST(UniqueResource, ClosesEachValueOnceAndOnlyItsOwnKindOfEmptyIsNothing) {
    g_closed.clear();
    EXPECT_EQ(std::pair(ZeroEmpty{}.valid(), MinusOneEmpty{}.get()), std::pair(false, -1));
    {
        const MinusOneEmpty zero{0};
        const ZeroEmpty minusOne{-1};
        const ZeroEmpty none{0};
        const MinusOneEmpty alsoNone{-1};
        ZeroEmpty a{7};
        ZeroEmpty b{std::move(a)};  // moved: not closed
        EXPECT_FALSE(a.valid());    // NOLINT(bugprone-use-after-move): the moved-from state is the point
        ZeroEmpty c{8};
        c = std::move(b);  // closes what c held, takes b's
        c = std::move(c);  // self-move keeps the value
        MinusOneEmpty h{3};
        h.reset(4);
        EXPECT_EQ(h.release(), 4);  // released: never closed by us
        h.reset();                  // nothing held: nothing closed
        h.reset(5);
        int* slot = h.put();  // an out-parameter slot: what was held is closed first
        EXPECT_EQ(std::pair(*slot, c.get()), std::pair(-1, 7));
        *slot = 6;
    }
    EXPECT_EQ(g_closed, (std::vector<int>{8, 3, 5, 6, 7, -1, 0}));
    int runs = 0;
    {
        const base::ScopeExit cleanup{[&] { ++runs; }};
        base::ScopeExit dismissed{[&] { runs += 10; }};
        dismissed.Dismiss();
    }
    EXPECT_EQ(runs, 1);
}

}  // namespace

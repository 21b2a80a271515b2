#include "base/TextUtil.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "base/model/Settings.h"

namespace {

struct Utf16Case {
    int line;
    std::u16string in;
    std::string out;
};

TEST(Utf16ToUtf8, EncodesEveryPlaneAndReplacesLoneSurrogates) {
    const Utf16Case cases[] = {
        {__LINE__, u"", ""},
        {__LINE__, u"Scale", "Scale"},
        {__LINE__, u"K\u00fcchenwaage",
         "K\xc3\xbc"
         "chenwaage"},
        {__LINE__, u"\u202f\u20ac", "\xe2\x80\xaf\xe2\x82\xac"},
        {__LINE__, u"\U0001F600", "\xf0\x9f\x98\x80"},  // a surrogate pair
        {__LINE__, std::u16string(1, u'\xd800') + u"a",
         "\xef\xbf\xbd"
         "a"},                                                     // high without low
        {__LINE__, std::u16string(1, u'\xdc00'), "\xef\xbf\xbd"},  // low alone
        {__LINE__, std::u16string(2, u'\xd800'), "\xef\xbf\xbd\xef\xbf\xbd"},
    };
    for (const Utf16Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(base::Utf16ToUtf8(c.in), c.out);
    }
}

TEST(CaseFolding, FoldsAsciiOnlyAndOrdersWithoutCase) {
    EXPECT_EQ(base::UpperAscii("hid#vid_0922&pid_8003\xc3\xa4"), "HID#VID_0922&PID_8003\xc3\xa4");
    EXPECT_TRUE(base::EqualsIgnoreCase("\\\\?\\hid#Vs0001", "\\\\?\\HID#VS0001"));
    EXPECT_FALSE(base::EqualsIgnoreCase("abc", "abcd"));
    EXPECT_FALSE(base::EqualsIgnoreCase("\xc3\xa4", "\xc3\x84"));  // not ASCII: compared as is
    const std::set<std::string, base::LessIgnoreCase> keys{"Path", "PATH", "other"};
    EXPECT_EQ(keys.size(), 2U);
}

struct WaitCase {
    int line;
    int32_t sampleRate;
    uint32_t waitMs;
};

TEST(ReadWaitMs, IsTheRateLessFiftyHeldWithinZeroTo450) {
    const WaitCase cases[] = {
        {__LINE__, 50, 0},    {__LINE__, 100, 50},        {__LINE__, 500, 450}, {__LINE__, 501, 450},
        {__LINE__, 49, 0},    {__LINE__, 0, 0},           {__LINE__, -7, 0},    {__LINE__, INT32_MIN, 0},
        {__LINE__, 499, 449}, {__LINE__, INT32_MAX, 450},
    };
    for (const WaitCase& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(base::ReadWaitMs(c.sampleRate), c.waitMs);
    }
}

}  // namespace

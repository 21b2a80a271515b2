// The Windows side of weighing against a real (Wine or Windows) user locale and clock.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <ctime>
#include <string>

#include "weighing/NumberFormat.h"
#include "weighing/System_win.h"

namespace {

std::wstring LocaleValue(LCTYPE type) {
    std::array<wchar_t, 16> value{};
    const int length = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, type, value.data(), static_cast<int>(value.size()));
    return length > 0 ? std::wstring(value.data(), static_cast<size_t>(length) - 1) : std::wstring();
}

// Puts the user's separators back however a test ends.
class SavedSeparators {
  public:
    SavedSeparators() : _decimal(LocaleValue(LOCALE_SDECIMAL)), _thousands(LocaleValue(LOCALE_STHOUSAND)) {}
    SavedSeparators(const SavedSeparators&) = delete;
    SavedSeparators& operator=(const SavedSeparators&) = delete;
    ~SavedSeparators() {
        (void)::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, _decimal.c_str());
        (void)::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, _thousands.c_str());
    }

  private:
    std::wstring _decimal;
    std::wstring _thousands;
};

TEST(UserNumberSeparators, FollowTheUsersLocaleAsUtf8) {
    SavedSeparators saved;
    struct Case {
        int line;
        const wchar_t* decimal;
        const wchar_t* thousands;
        const char* formatted;  // 1234567.125 with "#,##0.00"
        const char* plain;      // 1234.5 by the default conversion
    };
    const Case cases[] = {
        {__LINE__, L".", L",", "1,234,567.13", "1234.5"},
        {__LINE__, L",", L".", "1.234.567,13", "1234,5"},
        {__LINE__, L",", L"\u00A0",
         "1\xC2\xA0"
         "234\xC2\xA0"
         "567,13",
         "1234,5"},
        {__LINE__, L".", L"'", "1'234'567.13", "1234.5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ASSERT_TRUE(::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, c.decimal));
        ASSERT_TRUE(::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, c.thousands));
        const weighing::NumberSeparators separators = weighing::UserNumberSeparators();
        EXPECT_EQ(weighing::FormatNumber(weighing::ParseFormat("#,##0.00"), 1234567.125, separators), c.formatted);
        EXPECT_EQ(weighing::DefaultNumberText(1234.5, separators.decimal), c.plain);
    }
}

TEST(LocalDateTime, AgreesWithTheRuntimesLocalTime) {
    // Two independent readings of local time; retried once should a second tick between them.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const std::time_t now = std::time(nullptr);
        const weighing::DateTime ours = weighing::LocalDateTime();
        std::tm local{};
        ASSERT_EQ(localtime_s(&local, &now), 0);
        if (ours.second != local.tm_sec && attempt == 0) {
            continue;
        }
        EXPECT_EQ(ours.year, local.tm_year + 1900);
        EXPECT_EQ(ours.month, local.tm_mon + 1);
        EXPECT_EQ(ours.day, local.tm_mday);
        EXPECT_EQ(ours.hour, local.tm_hour);
        EXPECT_EQ(ours.minute, local.tm_min);
        EXPECT_EQ(ours.second, local.tm_sec);
        break;
    }
}

}  // namespace

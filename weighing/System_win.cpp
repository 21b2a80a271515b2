#include "weighing/System_win.h"

#include <windows.h>

#include <array>
#include <string>

namespace weighing {
namespace {

// The program's texts are UTF-8; separators such as the no-break space of French locales are
// not ASCII, so they are read in the wide form and converted rather than through the code page.
std::string LocaleText(LCTYPE type, const char* fallback) {
    std::array<wchar_t, 16> wide{};
    const int length = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, type, wide.data(), static_cast<int>(wide.size()));
    if (length <= 1) {
        return fallback;  // 0 is failure, 1 is an empty text
    }
    std::array<char, 64> utf8{};
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length - 1, utf8.data(),
                                            static_cast<int>(utf8.size()), /* lpDefaultChar */ nullptr,
                                            /* lpUsedDefaultChar */ nullptr);
    if (bytes <= 0) {
        return fallback;
    }
    return std::string(utf8.data(), static_cast<size_t>(bytes));
}

}  // namespace

NumberSeparators UserNumberSeparators() {
    return {LocaleText(LOCALE_SDECIMAL, "."), LocaleText(LOCALE_STHOUSAND, ",")};
}

DateTime LocalDateTime() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

}  // namespace weighing

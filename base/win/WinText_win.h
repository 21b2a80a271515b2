#pragma once
// Text conversions at the Win32 rim: the portable code holds UTF-8; the platform gives UTF-16
// and, through the ANSI calls, the ANSI code page.
#include <windows.h>

#include <algorithm>
#include <climits>
#include <string>
#include <string_view>

namespace base::win {

inline std::wstring Utf8ToWide(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(std::min<size_t>(text.size(), INT_MAX));
    const int chars = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring out(static_cast<size_t>(chars > 0 ? chars : 0), L'\0');
    if (chars > 0) {
        (void)::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, out.data(), chars);
    }
    return out;
}

inline std::string WideToCodePage(std::wstring_view text, UINT codePage) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(std::min<size_t>(text.size(), INT_MAX));
    const int bytes = ::WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) {
        (void)::WideCharToMultiByte(codePage, 0, text.data(), size, out.data(), bytes, nullptr, nullptr);
    }
    return out;
}

inline std::string WideToUtf8(std::wstring_view text) {
    return WideToCodePage(text, CP_UTF8);
}
inline std::string Utf8ToAnsi(std::string_view text) {
    return WideToCodePage(Utf8ToWide(text), CP_ACP);
}

inline std::string AnsiToUtf8(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(std::min<size_t>(text.size(), INT_MAX));
    const int chars = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(chars > 0 ? chars : 0), L'\0');
    if (chars > 0) {
        (void)::MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), chars);
    }
    return WideToUtf8(wide);
}

}  // namespace base::win

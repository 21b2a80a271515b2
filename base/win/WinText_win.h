#pragma once
// Text at the Win32 rim: the program holds UTF-8; windows take UTF-16 (the wide calls), and
// the ANSI code page is only for what must stay in it (the settings file on disk, DDE and
// CF_TEXT for the programs that read them so).
#include <windows.h>

#include <climits>
#include <string>
#include <string_view>

namespace base::win {

inline std::wstring ToWide(std::string_view text, UINT codePage = CP_UTF8) {
    if (text.empty() || text.size() > INT_MAX) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int chars = ::MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring out(static_cast<size_t>(chars > 0 ? chars : 0), L'\0');
    if (chars > 0) {
        (void)::MultiByteToWideChar(codePage, 0, text.data(), size, out.data(), chars);
    }
    return out;
}

// `lossless`, when given, is cleared when a character has no form in `codePage` (it was
// written as the code page's default character). Such a conversion takes no best-fit
// look-alikes: "ł" written as "l" would be a changed text reported as an exact one.
inline std::string FromWide(std::wstring_view text, UINT codePage = CP_UTF8, bool* lossless = nullptr) {
    if (lossless != nullptr) {
        *lossless = true;
    }
    if (text.empty() || text.size() > INT_MAX) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    BOOL usedDefault = FALSE;
    // CP_UTF8 takes no default-character argument.
    BOOL* const used = codePage == CP_UTF8 || lossless == nullptr ? nullptr : &usedDefault;
    const DWORD flags = used != nullptr ? WC_NO_BEST_FIT_CHARS : 0;
    const int bytes = ::WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, nullptr, used);
    std::string out(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) {
        (void)::WideCharToMultiByte(codePage, flags, text.data(), size, out.data(), bytes, nullptr, used);
    }
    if (lossless != nullptr && usedDefault) {
        *lossless = false;
    }
    return out;
}

inline std::wstring Utf8ToWide(std::string_view text) {
    return ToWide(text);
}

inline std::string WideToUtf8(std::wstring_view text) {
    return FromWide(text);
}

inline std::string AnsiToUtf8(std::string_view ansi) {
    return FromWide(ToWide(ansi, CP_ACP));
}

inline std::string Utf8ToAnsi(std::string_view utf8) {
    return FromWide(ToWide(utf8), CP_ACP);
}

// The text of a window (a wide window, whatever the class) in UTF-8.
inline std::string WindowTextUtf8(HWND hwnd) {
    const int length = ::GetWindowTextLengthW(hwnd);
    if (length <= 0) {
        return {};
    }
    std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
    const int got = ::GetWindowTextW(hwnd, buffer.data(), length + 1);
    buffer.resize(static_cast<size_t>(got > 0 ? got : 0));
    return FromWide(buffer);
}

inline BOOL SetWindowTextUtf8(HWND hwnd, std::string_view text) {
    return ::SetWindowTextW(hwnd, ToWide(text).c_str());
}

}  // namespace base::win

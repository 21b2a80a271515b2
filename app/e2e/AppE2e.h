#pragma once
// What the application's end-to-end tests share: a copy of Pesora started in a folder of its
// own, found by its main window, ended through File > Exit.
#include <gtest/gtest.h>

#include "Harness.h"
#include "app/resource.h"

namespace appe2e {

using namespace std::chrono_literals;

struct Running {
    e2e::Process process;
    HWND main = nullptr;
};

// Starts `exe` and waits for its main window (visible or not).
inline Running StartAndWait(const std::string& exe, std::string_view arguments = {}) {
    Running r;
    r.process = e2e::Start(exe, arguments);
    if (r.process.Started()) {
        r.main = e2e::WaitForMainWindow(r.process);
    }
    return r;
}

// File > Exit, then the process must end by itself with code 0.
inline ::testing::AssertionResult ExitThroughMenu(Running& r) {
    if (r.main == nullptr || !e2e::ClickMenu(r.main, IDM_EXIT)) {
        return ::testing::AssertionFailure() << "no main window to exit";
    }
    const auto code = r.process.Wait();
    if (!code) {
        r.process.Kill();
        return ::testing::AssertionFailure() << "did not end after File > Exit";
    }
    if (*code != 0) {
        return ::testing::AssertionFailure() << "ended with code " << *code;
    }
    return ::testing::AssertionSuccess();
}

// The value of `key` in the [Settings] lines, compared without regard to the key's case.
inline std::optional<std::string> ValueIn(const std::vector<std::string>& lines, std::string_view key) {
    for (const std::string& line : lines) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos && eq == key.size() &&
            ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, line.c_str(), static_cast<int>(eq), key.data(),
                             static_cast<int>(key.size())) == CSTR_EQUAL) {
            return line.substr(eq + 1);
        }
    }
    return std::nullopt;
}

inline int ScreenDpi() {
    HDC dc = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(dc, LOGPIXELSX);
    ::ReleaseDC(nullptr, dc);
    return dpi;
}

}  // namespace appe2e

#pragma once
// What the menu, tray, DDE and settings-dialog end-to-end tests share: message pumping waits
// (DDE advise data arrives as messages to this thread), real key events, the stand-in for the
// application with the focus, and screenshots kept as build artefacts.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "Harness.h"

namespace uie2e {

using namespace std::chrono_literals;

// Like e2e::WaitUntil, but this thread's messages are dispatched while it waits.
inline bool PumpUntil(const std::function<bool()>& condition, e2e::Millis timeout) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        if (condition()) {
            return true;
        }
        if (::GetTickCount() - start >= static_cast<DWORD>(timeout.count())) {
            return false;
        }
        (void)::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

inline void Key(BYTE vk, bool up) {
    const DWORD extended = (vk >= VK_PRIOR && vk <= VK_DELETE) ? KEYEVENTF_EXTENDEDKEY : 0;
    ::keybd_event(vk, static_cast<BYTE>(::MapVirtualKeyA(vk, MAPVK_VK_TO_VSC)), (up ? KEYEVENTF_KEYUP : 0) | extended,
                  0);
}

// Presses the keys in order, then lets go of them in reverse order.
inline void Chord(const std::vector<BYTE>& keys) {
    for (BYTE vk : keys) {
        Key(vk, false);
        ::Sleep(30);  // the receiving thread sees the modifiers down before the next key
    }
    for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
        Key(*it, true);
        ::Sleep(30);
    }
}

// The input focus of the thread that owns `window` (another process's too).
inline HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    const DWORD thread = ::GetWindowThreadProcessId(window, nullptr);
    return ::GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

// A click into a control of another process, in front: the control takes the focus itself.
inline bool ClickInto(HWND control) {
    (void)::SetForegroundWindow(::GetAncestor(control, GA_ROOT));
    e2e::Post(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    e2e::Post(control, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    // Key events go to the foreground window's thread, so both must hold before keys are pressed.
    return e2e::WaitUntil(
        [&] { return FocusOf(control) == control && ::GetForegroundWindow() == ::GetAncestor(control, GA_ROOT); }, 3s);
}

// The rows of another process's list box, read in UTF-16: Pesora's list box is a Unicode
// window, and Wine hands an ANSI LB_GETTEXT from another process the UTF-16 bytes unconverted.
inline std::vector<std::string> ListRowsW(HWND listBox) {
    std::vector<std::string> rows;
    const LRESULT count = e2e::Send(listBox, LB_GETCOUNT);
    for (LRESULT i = 0; i < count; ++i) {
        DWORD_PTR length = 0;
        (void)::SendMessageTimeoutW(listBox, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0, SMTO_ABORTIFHUNG, 5000, &length);
        std::wstring wide(length + 1, L'\0');
        DWORD_PTR got = 0;
        (void)::SendMessageTimeoutW(listBox, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(wide.data()),
                                    SMTO_ABORTIFHUNG, 5000, &got);
        wide.resize(static_cast<LONG_PTR>(got) > 0 ? got : 0);
        const int n =
            ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
        std::string text(static_cast<size_t>(n), '\0');
        (void)::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), text.data(), n, nullptr,
                                    nullptr);
        rows.push_back(text);
    }
    return rows;
}

// TargetWindow.exe: the application with the focus, whose edit box receives what is typed.
struct Target {
    e2e::Process process;
    HWND window = nullptr;
    HWND edit = nullptr;

    bool Start(const std::string& caption) {
        process = e2e::Start(e2e::TestProgram("TargetWindow.exe"), "\"\" \"" + caption + "\"");
        if (!process.Started()) {
            return false;
        }
        window = e2e::WaitForWindow(process.Pid(), caption);
        edit = window != nullptr ? e2e::Control(window, 100) : nullptr;
        return edit != nullptr;
    }
    bool Focus() const {
        (void)::SetForegroundWindow(window);
        return e2e::WaitUntil([&] { return ::GetForegroundWindow() == window; }, 3s);
    }
    std::string Text() const { return e2e::Text(edit); }
    void Clear() const { e2e::Send(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("")); }
    ~Target() {
        if (window != nullptr) {
            e2e::CloseMessage(window);
        }
        (void)process.WaitOrKill(5s);
    }
};

// Saves what the screen shows of `window` as a 24-bit BMP under <winbuild>\screenshots, for
// the eye: the test run keeps them as artefacts. The screen copy sees the window as drawn, with
// its frame and menu bar.
inline bool Screenshot(HWND window, const std::string& name) {
    const RECT r = e2e::WindowRect(window);
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    if (w <= 0 || h <= 0) {
        return false;
    }
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    HBITMAP bmp = ::CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    (void)::BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    (void)::SelectObject(mem, old);
    BITMAPINFOHEADER bi{};
    bi.biSize = sizeof bi;
    bi.biWidth = w;
    bi.biHeight = h;
    bi.biPlanes = 1;
    bi.biBitCount = 24;
    bi.biCompression = BI_RGB;
    const int stride = (w * 3 + 3) & ~3;
    std::string pixels(static_cast<size_t>(stride) * h, '\0');
    (void)::GetDIBits(mem, bmp, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof bi;
    fh.bfSize = fh.bfOffBits + static_cast<DWORD>(pixels.size());
    std::string file(reinterpret_cast<const char*>(&fh), sizeof fh);
    file.append(reinterpret_cast<const char*>(&bi), sizeof bi);
    file += pixels;
    const std::string folder = e2e::JoinPath(e2e::WinBuildDir(), "screenshots");
    (void)e2e::MakeFolders(folder);
    return e2e::WriteFileBytes(e2e::JoinPath(folder, name + ".bmp"), file);
}

// The file version of an executable as "major.minor.revision".
inline std::string FileVersion(const std::string& exe) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(exe.c_str(), &ignored);
    if (size == 0) {
        return {};
    }
    std::vector<char> block(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!::GetFileVersionInfoA(exe.c_str(), 0, size, block.data()) ||
        !::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &length) || info == nullptr) {
        return {};
    }
    return std::to_string(HIWORD(info->dwFileVersionMS)) + "." + std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(info->dwFileVersionLS));
}

}  // namespace uie2e

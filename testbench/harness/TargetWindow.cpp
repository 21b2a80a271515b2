// Stands in for "the application that has the focus": one window with a multi-line edit box
// (control id 100) that keeps whatever is typed into it. Tests read it with WM_GETTEXT on the
// edit box; when the window closes, its text is also written to the file named by the first
// argument. The second argument, when given, is the window's caption.
//   TargetWindow.exe [output-file] [caption]
#include <windows.h>

#include <shellapi.h>

#include <string>

namespace {

constexpr int kEditId = 100;
constexpr wchar_t kClassName[] = L"Pesora.E2E.TargetWindow";

struct Target {
    HWND edit = nullptr;
    std::wstring outputFile;
};
Target g_target;  // one window per process; the window procedure needs it

void SaveText() {
    if (g_target.outputFile.empty() || g_target.edit == nullptr) {
        return;
    }
    const int n = ::GetWindowTextLengthA(g_target.edit);
    std::string text(static_cast<size_t>(n) + 1, '\0');
    text.resize(static_cast<size_t>(::GetWindowTextA(g_target.edit, text.data(), n + 1)));
    HANDLE h = ::CreateFileW(g_target.outputFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD wrote = 0;
        (void)::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr);
        (void)::CloseHandle(h);
    }
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE:
            g_target.edit =
                ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                  WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN, 0,
                                  0, 0, 0, hwnd, reinterpret_cast<HMENU>(kEditId), nullptr, nullptr);
            return g_target.edit != nullptr ? 0 : -1;
        case WM_SIZE:
            (void)::MoveWindow(g_target.edit, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
            return 0;
        case WM_SETFOCUS:
        case WM_ACTIVATE:
            (void)::SetFocus(g_target.edit);
            break;
        case WM_CLOSE:
            SaveText();
            (void)::DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    std::wstring caption = L"Pesora Target";
    if (argv != nullptr) {
        if (argc > 1) {
            g_target.outputFile = argv[1];
        }
        if (argc > 2) {
            caption = argv[2];
        }
        (void)::LocalFree(argv);
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &WndProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    if (::RegisterClassExW(&wc) == 0) {
        return 1;
    }
    HWND hwnd = ::CreateWindowExW(0, kClassName, caption.c_str(), WS_OVERLAPPEDWINDOW, 100, 100, 400, 300, nullptr,
                                  nullptr, instance, nullptr);
    if (hwnd == nullptr) {
        return 1;
    }
    ::ShowWindow(hwnd, SW_SHOWNORMAL);
    (void)::SetForegroundWindow(hwnd);
    (void)::SetFocus(g_target.edit);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

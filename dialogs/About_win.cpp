// The about box: the program's name and version from its own version resource.
#include "dialogs/About_win.h"

#include "base/win/BaseWindow_win.h"
#include "base/win/MessagePump_win.h"

#include <string>
#include <vector>

#include "base/win/WinText_win.h"
#include "dialogs/DialogCommon_win.h"
#include "dialogs/DialogIds.h"
#include "dialogs/ProgramInfo.h"

namespace dialogs {
namespace {

// "Pesora v" + major.minor.revision of the running executable's file version. Without a
// readable version resource the box says "Pesora" alone rather than a made-up number.
std::string VersionText() {
    wchar_t path[MAX_PATH * 2]{};  // wide: the folder may lie outside the ANSI code page
    const DWORD length = ::GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    if (length == 0 || length >= std::size(path)) {
        return "Pesora";
    }
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0) {
        return "Pesora";
    }
    std::vector<char> block(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoLength = 0;
    if (!::GetFileVersionInfoW(path, 0, size, block.data()) ||
        !::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &infoLength) || info == nullptr ||
        infoLength < sizeof(VS_FIXEDFILEINFO)) {
        return "Pesora";
    }
    // The program's version resource is FILEVERSION major, minor, revision, 0 (app/Pesora.rc).
    return AboutVersionText(HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                            HIWORD(info->dwFileVersionLS));
}

}  // namespace

AboutBox::~AboutBox() {
    if (_hwnd != nullptr && !_modal) {
        (void)::DestroyWindow(_hwnd);
    }
}

void AboutBox::ShowModal(HWND owner) {
    if (_hwnd != nullptr) {
        (void)::SetForegroundWindow(_hwnd);
        return;
    }
    _modal = true;
    (void)::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), owner, &DialogProc,
                            reinterpret_cast<LPARAM>(this));
    _modal = false;
}

void AboutBox::ShowModeless(HWND owner) {
    if (_hwnd == nullptr) {
        _modal = false;
        const HWND hwnd = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), owner,
                                               &DialogProc, reinterpret_cast<LPARAM>(this));
        if (hwnd == nullptr) {
            return;
        }
        (void)::ShowWindow(hwnd, SW_SHOW);
    }
    // Opened from the notification area: the program is usually not in the foreground.
    (void)::SetForegroundWindow(_hwnd);
}

INT_PTR CALLBACK AboutBox::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    auto* self = base::DialogObject<AboutBox>(hwnd, msg, lParam);
    if (self == nullptr) {
        return FALSE;
    }
    try {
        switch (msg) {
            case WM_INITDIALOG:
                self->OnInitDialog(hwnd);
                return TRUE;
            case WM_COMMAND:
                if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                    self->Close();
                }
                return TRUE;
            case WM_DESTROY:
                // However the box goes (OK, Esc, close box, its owner destroyed), the hotkey
                // works again.
                self->_sendSuppressed = false;
                base::win::RemoveDialogNavigation(hwnd);
                self->_hwnd = nullptr;
                ::SetWindowLongPtrA(hwnd, DWLP_USER, 0);
                return FALSE;
            default:
                return FALSE;
        }
    } catch (...) {
        return FALSE;  // nothing may unwind into user32
    }
}

void AboutBox::OnInitDialog(HWND hwnd) {
    _hwnd = hwnd;
    _sendSuppressed = true;
    if (!_modal) {
        // The modal box has a loop of its own; the modeless one is served by the program's pump.
        base::win::AddDialogNavigation(hwnd);
    }
    const HWND owner = ::GetWindow(hwnd, GW_OWNER);
    HICON big = detail::OwnerIcon(owner, false);
    if (big == nullptr) {
        big = ::LoadIconA(nullptr, IDI_APPLICATION);  // shared system icon, never destroyed
    }
    (void)::SendMessageA(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    (void)::SendDlgItemMessageA(hwnd, IDC_ABOUT_ICON, STM_SETICON, reinterpret_cast<WPARAM>(big), 0);
    (void)::SetDlgItemTextA(hwnd, IDC_ABOUT_VERSION, VersionText().c_str());
}

void AboutBox::Close() {
    if (_hwnd == nullptr) {
        return;
    }
    if (_modal) {
        (void)::EndDialog(_hwnd, IDOK);
    } else {
        (void)::DestroyWindow(_hwnd);
    }
}

}  // namespace dialogs

#include "app/ReadCycleMessages_win.h"

namespace app {

namespace {

// What starts a modal loop in the main window: menu commands (posted by the menu when an item is
// chosen), clicks on the frame (menu bar, caption, system menu), the right button (the Weight
// box's pop-up menu), the keyboard's menu keys (Alt, F10) and F1 (help, which may show a
// message box).
bool OpensModalUi(const MSG& msg) {
    switch (msg.message) {
        case WM_COMMAND:
        case WM_SYSCOMMAND:
        case WM_NCLBUTTONDOWN:
        case WM_NCLBUTTONDBLCLK:
        case WM_NCRBUTTONDOWN:
        case WM_NCRBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_SYSKEYDOWN:
        case WM_SYSKEYUP:
        case WM_SYSCHAR:
            return true;
        case WM_KEYDOWN:
        case WM_KEYUP:
            return msg.wParam == VK_F1 || msg.wParam == VK_APPS;
        default:
            return false;
    }
}

}  // namespace

void ReadCycleMessages::Observe(UINT msg) {
    switch (msg) {
        case WM_ENTERMENULOOP:
            _inMenuLoop = true;
            break;
        case WM_EXITMENULOOP:
            _inMenuLoop = false;
            break;
        case WM_ENTERSIZEMOVE:
            _inSizeMove = true;
            break;
        case WM_EXITSIZEMOVE:
            _inSizeMove = false;
            break;
        default:
            break;
    }
}

// A dialog or message box owned by the main window disables it while it is open.
bool ReadCycleMessages::ModalLoopOpen(HWND mainWindow) const {
    return _inMenuLoop || _inSizeMove || !::IsWindowEnabled(mainWindow);
}

bool ReadCycleMessages::Hold(const MSG& msg, HWND mainWindow) {
    if (msg.hwnd == nullptr || (msg.hwnd != mainWindow && !::IsChild(mainWindow, msg.hwnd)) || !OpensModalUi(msg)) {
        return false;
    }
    _held.push_back(msg);
    return true;
}

void ReadCycleMessages::Release() {
    std::vector<MSG> held;
    held.swap(_held);
    for (const MSG& msg : held) {
        // A window closed meanwhile takes nothing: the message is dropped with it.
        (void)::PostMessageW(msg.hwnd, msg.message, msg.wParam, msg.lParam);
    }
}

}  // namespace app

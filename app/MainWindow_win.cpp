// The main window: its class, creation, controls and message dispatch. Its events, views and
// start-up and shutdown steps are in the MainWindow*_win.cpp files beside this one.
#include "app/MainWindow_win.h"

#include <commctrl.h>
#include <windowsx.h>

#include "app/TrayIconMessage.h"
#include "app/resource.h"
#include "base/win/MessagePump_win.h"
#include "base/win/WindowDpi_win.h"
#include "weighing/DateTokens.h"
#include "weighing/System_win.h"

namespace app {

namespace {

constexpr wchar_t kClassName[] = L"Pesora.MainWindow";
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_APPWINDOW;

const wchar_t* ClassOf(ControlKind kind) {
    switch (kind) {
        case ControlKind::Label:
            return WC_STATICW;
        case ControlKind::ListBox:
            return WC_LISTBOXW;
        case ControlKind::Button:
        case ControlKind::CheckBox:
            return WC_BUTTONW;
        case ControlKind::TextBox:
            return WC_EDITW;
    }
    return WC_STATICW;
}

DWORD StyleOf(ControlKind kind) {
    switch (kind) {
        case ControlKind::Label:
            return SS_LEFT | SS_NOPREFIX;
        case ControlKind::ListBox:
            return LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP;
        case ControlKind::Button:
            return BS_PUSHBUTTON | WS_TABSTOP;
        case ControlKind::CheckBox:
            return BS_AUTOCHECKBOX | WS_TABSTOP;
        case ControlKind::TextBox:
            return ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP;
    }
    return 0;
}

DWORD ExStyleOf(ControlKind kind) {
    return kind == ControlKind::ListBox || kind == ControlKind::TextBox ? WS_EX_CLIENTEDGE : 0;
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, ProgramIdentity identity) : _instance(instance) {
    _state.exeName = std::move(identity.exeName);
    _state.programFolder = std::move(identity.programFolder);
}

MainWindow::~MainWindow() {
    if (_hwnd != nullptr) {
        (void)::DestroyWindow(_hwnd);
    }
}

bool MainWindow::RegisterWindowClass() {
    _iconLarge.reset(static_cast<HICON>(::LoadImageW(_instance, MAKEINTRESOURCEW(IDI_PESORA), IMAGE_ICON,
                                                     ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), 0)));
    _iconSmall.reset(
        static_cast<HICON>(::LoadImageW(_instance, MAKEINTRESOURCEW(IDI_PESORA), IMAGE_ICON,
                                        ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0)));
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &MainWindow::WndProc;
    wc.hInstance = _instance;
    wc.hIcon = _iconLarge.get();
    wc.hIconSm = _iconSmall.get();
    wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool MainWindow::Create(std::string_view arguments) {
    if (!RegisterWindowClass()) {
        return false;
    }
    base::unique_hmenu menu{::LoadMenuW(_instance, MAKEINTRESOURCEW(IDR_MAINMENU))};
    if (::CreateWindowExW(kExStyle, kClassName, L"Pesora", kStyle, /* x */ CW_USEDEFAULT, /* y */ CW_USEDEFAULT,
                          /* width */ CW_USEDEFAULT, /* height */ CW_USEDEFAULT, /* hWndParent */ nullptr, menu.get(),
                          _instance, /* lpParam */ this) == nullptr) {
        return false;
    }
    (void)menu.release();                   // the window owns its menu bar from here and destroys it with itself
    base::win::AddDialogNavigation(_hwnd);  // Tab moves between the controls
    // Set on the window as well as the class, so that whoever asks the window gets the icon.
    ::SendMessageW(_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(_iconLarge.get()));
    ::SendMessageW(_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(_iconSmall.get()));
    _taskbarCreated = ::RegisterWindowMessageA("TaskbarCreated");
    _dpi = base::WindowDpi(_hwnd);
    _readCycle.SetSeparators(weighing::UserNumberSeparators());
    _readWake.Attach(_hwnd, WM_APP_REPORT_IN, kReadTimerId);
    _hotkeyHost = std::make_unique<keys::HotkeyHostWin>(_hwnd);
    _sender = std::make_unique<keys::HotkeySender>(_state, *this, *_hotkeyHost, [](std::string_view text) {
        return weighing::ExpandDateTimeTokens(text, &weighing::LocalDateTime);
    });
    _sender->SetBeforeAssemble([this] { _readCycle.TakeQueuedReports(); });
    _sender->SetMayType([this] { return MayTypeOnHotkey(); });
    _hotKeys = std::make_unique<keys::HotKeys>(_hwnd, _state.settings, [this](int32_t id) { KbdHook(id); });

    // The client area has a fixed size in twips; the frame and the menu bar come on top.
    RECT r{0, 0, TwipsToPixels(kClientWidthTwips, _dpi), TwipsToPixels(kClientHeightTwips, _dpi)};
    (void)::AdjustWindowRectEx(&r, kStyle, /* bMenu */ TRUE, kExStyle);
    (void)::SetWindowPos(_hwnd, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // A menu bar that wraps onto a second line takes client height; give it back.
    RECT client{};
    if (::GetClientRect(_hwnd, &client) && client.bottom < TwipsToPixels(kClientHeightTwips, _dpi)) {
        (void)::SetWindowPos(_hwnd, nullptr, 0, 0, r.right - r.left,
                             r.bottom - r.top + TwipsToPixels(kClientHeightTwips, _dpi) - client.bottom,
                             SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    CreateControls();

    Form_Load(arguments);
    if (_unloading) {
        return false;
    }
    _loaded = true;
    ShowAsStartupLeftIt();
    return true;
}

HFONT MainWindow::FontFor(const FontSpec& spec) {
    // The window's default font is the classic dialog font, regular weight.
    const FontSpec effective = spec.face.empty() ? FontSpec{"MS Sans Serif", 8.25, false} : spec;
    const std::string key =
        std::string(effective.face) + "/" + std::to_string(effective.points) + (effective.bold ? "/b" : "/r");
    for (auto& [name, font] : _fonts) {
        if (name == key) {
            return font.get();
        }
    }
    HFONT font = ::CreateFontA(FontHeightPixels(effective.points, _dpi), 0, 0, 0, effective.bold ? FW_BOLD : FW_NORMAL,
                               FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                               DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, std::string(effective.face).c_str());
    _fonts.emplace_back(key, base::unique_hfont{font});
    return font;
}

// The weight box's mouse presses go to Weight_MouseDown; its own context menu never opens,
// because the right button shows the Edit menu instead.
LRESULT MainWindow::WeightBoxHook::Message(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, DWORD_PTR) noexcept {
    try {
        switch (msg) {
            case WM_RBUTTONDOWN: {
                POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
                (void)::ClientToScreen(hwnd, &pt);
                _owner.Weight_MouseDown(2, pt);
                return 0;
            }
            case WM_CONTEXTMENU:
                return 0;
            default:
                break;
        }
    } catch (...) {
        // nothing reaches the user; the box goes on with its own handling
    }
    return ::DefSubclassProc(hwnd, msg, wParam, lParam);
}

void MainWindow::CreateControls() {
    HWND tooltip = nullptr;
    for (const ControlSpec& c : MainWindowControls()) {
        const std::wstring text(c.text.begin(), c.text.end());  // the table's texts are plain ASCII
        const DWORD style = WS_CHILD | StyleOf(c.kind) | (c.visible ? WS_VISIBLE : 0);
        HWND control =
            ::CreateWindowExW(ExStyleOf(c.kind), ClassOf(c.kind), text.c_str(), style, TwipsToPixels(c.left, _dpi),
                              TwipsToPixels(c.top, _dpi), TwipsToPixels(c.width, _dpi), TwipsToPixels(c.height, _dpi),
                              _hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), _instance, nullptr);
        if (control == nullptr) {
            continue;  // a missing control shows less, the rest of the window still works
        }
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(c.font)), FALSE);
        switch (c.id) {
            case IDC_WEIGHT:
                _weightBox = control;
                (void)base::win::AttachWindowHook(control, &_weightBoxHook);
                break;
            case IDC_WEIGHT_CAPTION:
                _weightLabel = control;
                break;
            case IDC_STATUS:
                _statusLine = control;
                break;
            case IDC_SCALE_LIST:
                _scaleList = control;
                break;
            default:
                break;
        }
        if (!c.tooltip.empty()) {
            if (tooltip == nullptr) {
                tooltip =
                    ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, _hwnd, nullptr, _instance, nullptr);
            }
            std::wstring tip(c.tooltip.begin(), c.tooltip.end());
            TOOLINFOW ti{};
            ti.cbSize = sizeof ti;
            ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
            ti.hwnd = _hwnd;
            ti.uId = reinterpret_cast<UINT_PTR>(control);
            ti.lpszText = tip.data();
            if (tooltip != nullptr) {
                ::SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
            }
        }
    }
}

// After start-up the window appears as the steps left it: not at all after "-H", minimised
// (and then hidden by Form_Resize when the icon is there), or in its normal state.
void MainWindow::ShowAsStartupLeftIt() {
    if (_shell.startHidden) {
        return;
    }
    if (_startMinimized) {
        ::ShowWindow(_hwnd, SW_SHOWMINNOACTIVE);
        return;
    }
    ::ShowWindow(_hwnd, SW_SHOWNORMAL);
    (void)::UpdateWindow(_hwnd);
}

HWND MainWindow::Control(int id) const noexcept {
    return _hwnd != nullptr ? ::GetDlgItem(_hwnd, id) : nullptr;
}

// ---- messages ---------------------------------------------------------------------------

LRESULT MainWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        _cycleMessages.Observe(msg);
        switch (msg) {
            case WM_COMMAND:
                OnCommand(LOWORD(wParam), HIWORD(wParam));
                return 0;
            case WM_SIZE:
                Form_Resize(static_cast<UINT>(wParam));
                return 0;
            case kTrayIconMessage:
                Form_MouseMove(static_cast<int>(lParam));  // the mouse event the icon saw
                return 0;
            case WM_TIMER:
                if (wParam == kReadTimerId) {
                    _pacer.Due();
                    return 0;
                }
                if (wParam == kSettledTimerId) {
                    SettledTimer_Tick();
                    return 0;
                }
                break;
            case WM_APP_REPORT_IN:
                _pacer.ReportIn();
                return 0;
            case WM_APP_SETTLED_SEND:
                SettledSend_Due();
                return 0;
            case WM_APP_SERIAL_PORTS:
                SerialPorts_Change();
                return 0;
            case WM_CLOSE:
                Form_Unload();
                return 0;
            case WM_HELP:
                Form_Help();
                return TRUE;

            case WM_ENDSESSION:
                if (wParam != FALSE) {
                    Form_Unload();
                }
                return 0;
            case WM_DESTROY:
                base::win::RemoveDialogNavigation(_hwnd);
                ::PostQuitMessage(0);
                return 0;
            default:
                if (_taskbarCreated != 0 && msg == _taskbarCreated) {
                    Form_TaskbarCreated();
                    return 0;
                }
                break;
        }
    } catch (...) {
        // Failures are not raised to the user; the message gets default processing.
    }
    return ::DefWindowProcW(_hwnd, msg, wParam, lParam);
}

void MainWindow::OnCommand(int id, int notification) {
    switch (id) {
        case IDM_EXIT:
            FileExit_Click();
            break;
        case IDM_EDITCOPY:
            EditCopy_Click();
            break;
        case IDM_SETTINGS:
            FileSettings_Click();
            break;
        case IDM_CONTENTS:
            HelpContents_Click();
            break;
        case IDM_ABOUT:
            HelpAbout_Click();
            break;
        case IDC_ZERO_BUTTON:
            if (notification == BN_CLICKED) {
                ZeroButton_Click();
            }
            break;
        case IDC_REFRESH_BUTTON:
            if (notification == BN_CLICKED) {
                RefreshButton_Click();
            }
            break;
        case IDC_SCALE_LIST:
            if (notification == LBN_SELCHANGE) {
                ScaleList_Click();
            }
            break;
        case IDC_WEIGHT:
            if (notification == EN_CHANGE) {
                Weight_Change();
            }
            break;
        default:
            break;  // chkContinuousRead and Read0 do nothing
    }
}

}  // namespace app

#include "app/MainWindow_win.h"

#include "base/win/MessagePump_win.h"

#include <algorithm>

#include <commctrl.h>
#include <windowsx.h>

#include "app/LaunchAtStartup_win.h"
#include "app/SettingsStore_win.h"
#include "base/win/WinText_win.h"
#include "app/TrayIconMessage.h"
#include "base/win/WindowDpi_win.h"
#include "app/resource.h"
#include "dialogs/SettingsDialog_win.h"
#include "keys/HotkeyNames.h"
#include "keys/KeyPlayer.h"
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

std::string GetText(HWND hwnd) {
    return base::win::WindowTextUtf8(hwnd);
}

} // namespace

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
    _iconSmall.reset(static_cast<HICON>(::LoadImageW(_instance, MAKEINTRESOURCEW(IDI_PESORA), IMAGE_ICON,
                                                     ::GetSystemMetrics(SM_CXSMICON),
                                                     ::GetSystemMetrics(SM_CYSMICON), 0)));
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &MainWindow::WndProc;
    wc.hInstance = _instance;
    wc.hIcon = _iconLarge.get();
    wc.hIconSm = _iconSmall.get();
    wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
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
    (void)menu.release(); // the window owns its menu bar from here and destroys it with itself
    base::win::AddDialogNavigation(_hwnd); // Tab moves between the controls
    // Set on the window as well as the class, so that whoever asks the window gets the icon.
    ::SendMessageW(_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(_iconLarge.get()));
    ::SendMessageW(_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(_iconSmall.get()));
    _taskbarCreated = ::RegisterWindowMessageA("TaskbarCreated");
    _dpi = base::WindowDpi(_hwnd);
    _readCycle.SetSeparators(weighing::UserNumberSeparators());
    _hotkeyHost = std::make_unique<keys::HotkeyHostWin>(_hwnd);
    _sender = std::make_unique<keys::HotkeySender>(_state, *this, *_hotkeyHost, [](std::string_view text) {
        return weighing::ExpandDateTimeTokens(text, &weighing::LocalDateTime);
    });
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
LRESULT CALLBACK MainWindow::WeightBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                      DWORD_PTR refData) noexcept {
    auto* self = reinterpret_cast<MainWindow*>(refData);
    try {
        switch (msg) {
            case WM_RBUTTONDOWN: {
                POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
                (void)::ClientToScreen(hwnd, &pt);
                self->Weight_MouseDown(2, pt);
                return 0;
            }
            case WM_CONTEXTMENU:
                return 0;
            case WM_NCDESTROY:
                (void)::RemoveWindowSubclass(hwnd, &MainWindow::WeightBoxProc, 0);
                break;
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
        const std::wstring text(c.text.begin(), c.text.end()); // the table's texts are plain ASCII
        const DWORD style = WS_CHILD | StyleOf(c.kind) | (c.visible ? WS_VISIBLE : 0);
        HWND control = ::CreateWindowExW(ExStyleOf(c.kind), ClassOf(c.kind), text.c_str(), style,
                                         TwipsToPixels(c.left, _dpi), TwipsToPixels(c.top, _dpi),
                                         TwipsToPixels(c.width, _dpi), TwipsToPixels(c.height, _dpi), _hwnd,
                                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), _instance, nullptr);
        if (control == nullptr) {
            continue; // a missing control shows less, the rest of the window still works
        }
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(c.font)), FALSE);
        if (c.id == IDC_WEIGHT) {
            (void)::SetWindowSubclass(control, &MainWindow::WeightBoxProc, 0, reinterpret_cast<DWORD_PTR>(this));
        }
        if (!c.tooltip.empty()) {
            if (tooltip == nullptr) {
                tooltip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, _hwnd,
                                            nullptr, _instance, nullptr);
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
                Form_MouseMove(static_cast<int>(lParam)); // the mouse event the icon saw
                return 0;
            case WM_TIMER:
                if (wParam == kReadTimerId) {
                    ReadTimer_Tick();
                    return 0;
                }
                break;
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
        default:
            break; // chkContinuousRead and Read0 do nothing
    }
}

// ---- events -------------------------------------------------------------------------------

void MainWindow::Form_Load(std::string_view arguments) {
    if (RunStartup(*this, _state, _shell, arguments) == StartupOutcome::Running) {
        ApplyWebSettings();
    }
}

// Every way out (File > Exit, the close box, the end of the log-on) comes here, once.
void MainWindow::Form_Unload() {
    if (_unloading) {
        return;
    }
    _unloading = true;
    _web.Stop();
    RunShutdown(*this, _state, _shell);
}

void MainWindow::Form_Resize(UINT sizeType) {
    if (!_loaded) {
        return; // sizes set while the window is being built are not the user's
    }
    if (sizeType != SIZE_MINIMIZED) {
        if (!::IsWindowVisible(_hwnd) && !_shell.startHidden) {
            ::ShowWindow(_hwnd, SW_SHOW);
        }
    } else if (_shell.trayIconShown) {
        ::ShowWindow(_hwnd, SW_HIDE); // only the icon remains
        return;
    }
    if (sizeType == SIZE_MINIMIZED) {
        return;
    }
    RECT outer{};
    if (!::GetWindowRect(_hwnd, &outer)) {
        return;
    }
    if (const auto width = StretchedControlWidth(PixelsToTwips(outer.right - outer.left, _dpi))) {
        for (int id : {IDC_SCALE_LIST, IDC_WEIGHT}) {
            HWND control = Control(id);
            RECT rc{};
            if (control != nullptr && ::GetWindowRect(control, &rc)) {
                (void)::SetWindowPos(control, nullptr, 0, 0, TwipsToPixels(*width, _dpi), rc.bottom - rc.top,
                                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            }
        }
    }
}

void MainWindow::Form_MouseMove(int x) {
    switch (x) {
        case WM_LBUTTONDOWN:
            if (::IsIconic(_hwnd)) {
                ::ShowWindow(_hwnd, SW_RESTORE);
            }
            ::ShowWindow(_hwnd, SW_SHOW);
            // Our own window, not the first one captioned "Pesora": a renamed copy has the same caption.
            (void)::SetForegroundWindow(_hwnd);
            break;
        case WM_RBUTTONUP:
            _about.ShowModeless(_hwnd);
            break;
        default:
            break;
    }
}

// The shell lost every icon when it restarted; ours comes back if it was there.
void MainWindow::Form_TaskbarCreated() {
    if (_shell.trayIconShown) {
        (void)::Shell_NotifyIconA(NIM_ADD, &_trayIconData);
    }
}

void MainWindow::FileExit_Click() {
    Form_Unload();
}

void MainWindow::EditCopy_Click() {
    CopyWeightToClipboard(_hwnd, _ddeTopic, WeightBox());
}

// The hotkey cannot fire while the dialog is open; afterwards it is registered from the
// settings as the dialog left them, whether they were confirmed or not.
void MainWindow::FileSettings_Click() {
    UnregisterSendHotkey();
    if (dialogs::ShowSettingsDialog(_hwnd, _state.settings, &_help)) {
        SetTimerInterval(_state.settings.SampleRate);
        ApplyWebSettings();
    }
    RegisterSendHotkey();
}

void MainWindow::HelpContents_Click() {
    Form_Help();
}

// F1 in the main window and Help > Contents: the help file at its default topic.
void MainWindow::Form_Help() {
    (void)_help.Show(_hwnd, _helpFile);
}

void MainWindow::HelpAbout_Click() {
    _about.ShowModal(_hwnd);
}

// Only the right button: the weight box gets the focus and the Edit menu opens in place of
// the box's own context menu.
void MainWindow::Weight_MouseDown(int button, POINT screen) {
    if (button != 2) {
        return;
    }
    HWND weight = Control(IDC_WEIGHT);
    (void)::EnableWindow(weight, FALSE);
    (void)::EnableWindow(weight, TRUE);
    (void)::SetFocus(weight);
    HMENU bar = ::GetMenu(_hwnd);
    HMENU edit = bar != nullptr ? ::GetSubMenu(bar, 1) : nullptr; // "Edit", second on the bar
    if (edit != nullptr) {
        (void)::SetForegroundWindow(_hwnd);
        (void)::TrackPopupMenu(edit, TPM_LEFTALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, 0, _hwnd, nullptr);
    }
}

void MainWindow::ZeroButton_Click() {
    weighing::ZeroButton_Click(_state, ListIndex(), _scaleDevice);
}

void MainWindow::RefreshButton_Click() {
    _devices.Selection().RefreshButton_Click();
}

void MainWindow::ScaleList_Click() {
    _devices.Selection().ScaleList_Click();
}

void MainWindow::ReadTimer_Tick() {
    if (_unloading) {
        return;
    }
    ++_tickDepth;
    try {
        _readCycle.ReadWeight();
    } catch (...) {
        if (--_tickDepth == 0) {
            _cycleMessages.Release();
        }
        throw;
    }
    if (--_tickDepth == 0) {
        ShowPendingWeightBox();
        PublishWebReading();
        _cycleMessages.Release();
    }
}

void MainWindow::KbdHook(int32_t hotkeyId) {
    if (_sender) {
        _sender->KbdHook(hotkeyId);
    }
}

// ---- start-up and shutdown steps ------------------------------------------------------------

// A named object per executable name marks the running copy; its name is upper-cased because
// Windows file names do not differ by case (PESORA.EXE and Pesora.exe are the same program).
bool MainWindow::AnotherInstanceRunning() {
    std::string upper = _state.exeName;
    if (!upper.empty()) {
        (void)::CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
    }
    _instanceMarker.reset(::CreateMutexA(nullptr, FALSE, InstanceObjectName(upper).c_str()));
    // Another user's copy owns the object and its default security keeps us out: it runs.
    const DWORD error = ::GetLastError();
    return _instanceMarker ? error == ERROR_ALREADY_EXISTS : error == ERROR_ACCESS_DENIED;
}

void MainWindow::ShowRefusal(const std::string& title, const std::string& text) {
    (void)::MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_OK);
}

void MainWindow::LocateSettingsFile() {
    SettingsFileSystem fs;
    _state.settingsFilePath = app::LocateSettingsFile(fs, _state.exeName);
}

void MainWindow::SetHelpFile(const std::string& path) {
    _helpFile = path;
}

void MainWindow::SetDdeTopic(const std::string& topic) {
    _ddeTopic = topic;
    (void)_dde.Start(topic, [this] { return WeightBox(); }); // without DDE the program works on
}

void MainWindow::CreateDeviceNotifications() {
    (void)_devices.StartNotifications(); // without notifications the list can still be refreshed by hand
}

void MainWindow::LoadSettings() {
    IniFileStore store(_state.settingsFilePath);
    app::LoadSettings(store, _state.settings, [this](int32_t sampleRate) {
        if (const auto interval = TimerIntervalFromSampleRate(sampleRate)) {
            SetTimerInterval(static_cast<int32_t>(*interval));
        }
    });
}

void MainWindow::BuildHotkeyNames() {
    keys::BuildHotkeyNames();
}

void MainWindow::RegisterSendHotkey() {
    if (_hotKeys) {
        _hotKeys->RegisterSendHotkey();
    }
}

void MainWindow::InstallHotkeyWindowProc() {
    if (_hotKeys) {
        _hotKeys->InstallWindowProc();
    }
}

void MainWindow::HideMainWindow() {
    ::ShowWindow(_hwnd, SW_HIDE);
}

void MainWindow::AddTrayIcon() {
    // The first, 88-byte form of the record: every shell version takes it.
    _trayIconData = NOTIFYICONDATAA{};
    _trayIconData.cbSize = NOTIFYICONDATAA_V1_SIZE;
    _trayIconData.hWnd = _hwnd;
    _trayIconData.uID = 0;
    _trayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    _trayIconData.uCallbackMessage = kTrayIconMessage;
    _trayIconData.hIcon = _iconSmall ? _iconSmall.get() : _iconLarge.get();
    const auto tip = TrayTip(kCaption);
    static_assert(sizeof tip <= sizeof _trayIconData.szTip);
    std::copy(tip.begin(), tip.end(), _trayIconData.szTip);
    (void)::Shell_NotifyIconA(NIM_ADD, &_trayIconData); // a failed add is not noticed
}

void MainWindow::MinimizeMainWindow() {
    _startMinimized = true;
}

void MainWindow::RefreshDeviceList() {
    RefreshButton_Click();
}

void MainWindow::CloseScaleDevice() {
    _devices.Selection().CloseScaleDevice();
}

void MainWindow::RestoreWindowProc() {
    if (_hotKeys) {
        _hotKeys->RemoveWindowProc();
    }
}

void MainWindow::UnregisterSendHotkey() {
    if (_hotKeys) {
        _hotKeys->UnregisterSendHotkey();
    }
}

void MainWindow::ReleaseDeviceNotifications() {
    _devices.StopNotifications();
    _dde.Stop();
}

void MainWindow::DeleteTrayIcon() {
    (void)::Shell_NotifyIconA(NIM_DELETE, &_trayIconData);
}

void MainWindow::SaveSettings() {
    RECT r{};
    (void)::GetWindowRect(_hwnd, &r);
    IniFileStore store(_state.settingsFilePath);
    app::SaveSettings(store, _state.settings, PixelsToTwips(r.left, _dpi), PixelsToTwips(r.top, _dpi));
    (void)store.Commit(); // a file that cannot be written keeps what it had; nothing is reported
}

void MainWindow::SetStartWithWindows(bool enable, const std::string& valueName, const std::string& command) {
    (void)app::SetStartWithWindows(enable, valueName, command, /* currentUser */ true, /* everyLogOn */ false);
}

// Nothing runs after shutdown: open dialogs are not given the chance to run their own closing.
// A send cut short here (File > Exit or the end of the log-on handled in one of its pauses)
// must not leave a modifier down system-wide or Caps Lock off.
void MainWindow::EndProcess() {
    keys::EndActiveSend();
    ::ExitProcess(0);
}

// ---- the views ----------------------------------------------------------------------------

void MainWindow::SetWeightBox(std::string_view text) {
    _pendingWeightBox = text;
    if (_tickDepth == 0) {
        ShowPendingWeightBox();
    }
}

// The box is editable, so what it holds may be what the user typed or pasted: it is compared
// with the weight every tick and shown again where it differs. Unchanged text needs no repaint,
// and only a changed weight is advised.
void MainWindow::ShowPendingWeightBox() {
    const std::string& text = _pendingWeightBox;
    HWND box = Control(IDC_WEIGHT);
    const bool changed = text != _lastWeightBox;
    if (!changed && GetText(box) == text) {
        return;
    }
    _lastWeightBox = text;
    (void)base::win::SetWindowTextUtf8(box, _lastWeightBox);
    if (changed) {
        _dde.WeightChanged();
        PublishWebReading();
    }
}

// The weight as the program last showed it, never text the user typed into the box: Edit > Copy
// and DDE hand it to other programs.
std::string MainWindow::WeightBox() const {
    return _lastWeightBox;
}

void MainWindow::SetStatus(std::string_view text) {
    _statusCaption = text;
    (void)base::win::SetWindowTextUtf8(Control(IDC_STATUS), web::StatusLineText(_statusCaption, _webNotice));
}

// The caption carries the unit ("Weight (kg):"), which is wider than the label's design width
// and would wrap out of sight: the label grows to fit its text, up to the zero button beside it,
// and never below its design width.
void MainWindow::SetWeightCaption(std::string_view text) {
    HWND label = Control(IDC_WEIGHT_CAPTION);
    const std::string caption(text);
    (void)base::win::SetWindowTextUtf8(label, caption);
    if (label == nullptr) {
        return;
    }
    int width = TwipsToPixels(WeightCaptionWidth(0), _dpi);
    if (HDC dc = ::GetDC(label)) {
        HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(label, WM_GETFONT, 0, 0)));
        SIZE extent{};
        const std::wstring wideCaption = base::win::ToWide(caption);
        if (::GetTextExtentPoint32W(dc, wideCaption.c_str(), static_cast<int>(wideCaption.size()), &extent)) {
            // One pixel either side for rounding, so the last letter is never cut.
            width = TwipsToPixels(WeightCaptionWidth(PixelsToTwips(static_cast<int>(extent.cx) + 2, _dpi)), _dpi);
        }
        (void)::SelectObject(dc, old);
        (void)::ReleaseDC(label, dc);
    }
    RECT rc{};
    if (::GetWindowRect(label, &rc) && rc.right - rc.left != width) {
        (void)::SetWindowPos(label, nullptr, 0, 0, width, rc.bottom - rc.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

// An enabled timer with interval 0 stays enabled but never ticks.
void MainWindow::ApplyTimer() {
    if (_hwnd == nullptr) {
        return;
    }
    if (_timerEnabled && _timerInterval > 0) {
        (void)::SetTimer(_hwnd, kReadTimerId, _timerInterval, nullptr);
    } else {
        (void)::KillTimer(_hwnd, kReadTimerId);
    }
}

void MainWindow::SetTimerEnabled(bool enabled) {
    _timerEnabled = enabled;
    ApplyTimer();
}

void MainWindow::SetTimerInterval(int32_t ms) {
    if (ms < 0 || ms > 65535) {
        return; // the timer cannot take it and keeps its interval
    }
    _timerInterval = static_cast<uint32_t>(ms);
    ApplyTimer();
}

void MainWindow::ClearList() {
    ::SendMessageA(Control(IDC_SCALE_LIST), LB_RESETCONTENT, 0, 0);
}

void MainWindow::AddListRow(std::string_view text) {
    ::SendMessageW(Control(IDC_SCALE_LIST), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(base::win::ToWide(text).c_str()));
}

int MainWindow::ListCount() const {
    return static_cast<int>(::SendMessageA(Control(IDC_SCALE_LIST), LB_GETCOUNT, 0, 0));
}

int MainWindow::ListIndex() const {
    const LRESULT i = ::SendMessageA(Control(IDC_SCALE_LIST), LB_GETCURSEL, 0, 0);
    return i == LB_ERR ? -1 : static_cast<int>(i);
}

void MainWindow::SetListIndex(int index) {
    ::SendMessageA(Control(IDC_SCALE_LIST), LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

// One pass over what is queued now. Messages posted while it runs wait for the next pass, so a
// handler that keeps posting cannot hold the caller here; a quit request is put back for the
// main loop.
void MainWindow::DoEvents() {
    if (_tickDepth > 0 && _cycleMessages.ModalLoopOpen(_hwnd)) {
        return; // the open menu's or dialog's own loop handles the messages when the tick returns
    }
    if (_tickDepth == 0) {
        (void)base::win::DispatchPendingMessages();
        return;
    }
    // A menu or dialog opened inside the read cycle would freeze the weight: such messages wait.
    (void)base::win::DispatchPendingMessages(1000, [this](MSG& msg) { return _cycleMessages.Hold(msg, _hwnd); });
}

} // namespace app

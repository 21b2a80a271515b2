// The settings dialog (SettingsDialog): moves values between its controls and the portable
// DialogModel, and captures the hotkey from key presses in the hotkey box.
#include "dialogs/SettingsDialog_win.h"

#include "base/win/BaseWindow_win.h"
#include "base/win/WinText_win.h"
#include "base/win/WindowSubclass_win.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <utility>

#include "dialogs/DialogCommon_win.h"
#include "dialogs/DialogIds.h"
#include "dialogs/Help_win.h"
#include "dialogs/ProgramInfo.h"
#include "dialogs/SettingsModel.h"
#include "keys/HotkeyNames.h"

namespace dialogs {
namespace {

// Posted alongside an F1 key-down; the default window procedure turns it into WM_HELP.
constexpr UINT kKeyF1Message = 0x004D;

constexpr const char* kPreambleTip =
    "Additional keystrokes to send before the weight value is sent to other application programs.";
constexpr const char* kPostambleTip =
    "Additional keystrokes to send after the weight value is sent to other application programs.";
constexpr const char* kHotkeyTip =
    "Select the Hotkey for sending weight data to other application programs. Put the cursor in the Hotkey "
    "textbox and then press the key or key combination that you want to use as the Hotkey on your keyboard.";

// The advanced column: hidden while the dialog is narrow, so Tab never lands on a control
// the user cannot see.
constexpr int kAdvancedControls[] = {
    IDC_SET_SEPARATOR,       IDC_SET_SAMPLE_RATE_LABEL, IDC_SET_SAMPLE_RATE,    IDC_SET_SAMPLE_RATE_HELP,
    IDC_SET_KEY_DELAY_LABEL, IDC_SET_KEY_DELAY,         IDC_SET_KEY_DELAY_HELP, IDC_SET_MORE};
// What the hotkey check box switches on and off.
constexpr int kHotkeyControls[] = {IDC_SET_PREAMBLE_LABEL, IDC_SET_POSTAMBLE_LABEL, IDC_SET_HOTKEY_LABEL,
                                   IDC_SET_HOTKEY,         IDC_SET_PREAMBLE,        IDC_SET_POSTAMBLE};

template <size_t N>
void FillList(HWND combo, const std::array<std::string_view, N>& items) {
    for (std::string_view item : items) {
        const std::string text(item);
        (void)::SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
}

int ModifierMask() noexcept {
    int mask = 0;
    if (::GetKeyState(VK_SHIFT) < 0) {
        mask |= keys::kShiftMask;
    }
    if (::GetKeyState(VK_CONTROL) < 0) {
        mask |= keys::kCtrlMask;
    }
    if (::GetKeyState(VK_MENU) < 0) {
        mask |= keys::kAltMask;
    }
    return mask;
}

// A value "OK" cannot take: the message names the field, and the dialog stays open.
void ShowRefusal(HWND dialog, const std::string& text) {
    (void)::MessageBoxW(dialog, base::win::ToWide(text).c_str(), L"Pesora", MB_OK | MB_ICONEXCLAMATION);
}

// The page "More...": the settled weight and the web endpoint. It edits the settings dialog's
// working values, which reach the settings only with that dialog's "OK".
class MorePage final {
  public:
    explicit MorePage(DialogModel& model) : _model(model) {}

    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
        auto* self = base::DialogObject<MorePage>(hwnd, msg, lParam);
        if (self == nullptr) {
            return FALSE;
        }
        if (msg == WM_INITDIALOG) {
            self->_hwnd = hwnd;
        }
        try {
            switch (msg) {
                case WM_INITDIALOG:
                    self->Form_Load();
                    return TRUE;
                case WM_COMMAND:
                    if (LOWORD(wParam) == IDOK) {
                        self->OkButton_Click();
                        return TRUE;
                    }
                    if (LOWORD(wParam) == IDCANCEL) {
                        (void)::EndDialog(hwnd, IDCANCEL);
                        return TRUE;
                    }
                    return FALSE;
                default:
                    return FALSE;
            }
        } catch (...) {
            return FALSE;  // nothing may unwind into user32
        }
    }

  private:
    static constexpr std::pair<int, std::string DialogModel::*> kTexts[] = {
        {IDC_MORE_STABLE_WAIT, &DialogModel::stableWaitMs},
        {IDC_MORE_SETTLE, &DialogModel::settleMs},
        {IDC_MORE_MIN, &DialogModel::autoSendMin},
        {IDC_MORE_WEB_PORT, &DialogModel::webPort},
        {IDC_MORE_WEB_ORIGINS, &DialogModel::webOrigins}};
    static constexpr std::pair<int, bool DialogModel::*> kChecks[] = {{IDC_MORE_STABLE_ONLY, &DialogModel::stableOnly},
                                                                      {IDC_MORE_AUTO_SEND, &DialogModel::autoSend}};

    void Form_Load() {
        for (const auto& [id, field] : kTexts) {
            (void)::SendDlgItemMessageA(_hwnd, id, EM_LIMITTEXT, kMaxSettingText, 0);
            (void)base::win::SetWindowTextUtf8(::GetDlgItem(_hwnd, id), _model.*field);
        }
        for (const auto& [id, field] : kChecks) {
            (void)::CheckDlgButton(_hwnd, id, _model.*field ? BST_CHECKED : BST_UNCHECKED);
        }
    }

    void OkButton_Click() {
        DialogModel edited = _model;
        for (const auto& [id, field] : kTexts) {
            edited.*field = detail::WindowText(::GetDlgItem(_hwnd, id));
        }
        for (const auto& [id, field] : kChecks) {
            edited.*field = ::IsDlgButtonChecked(_hwnd, id) == BST_CHECKED;
        }
        if (const auto refusal = CheckDialogModel(edited)) {
            ShowRefusal(_hwnd, *refusal);
            return;
        }
        _model = std::move(edited);
        (void)::EndDialog(_hwnd, IDOK);
    }

    DialogModel& _model;
    HWND _hwnd = nullptr;
};

// The dialog is also the hotkey box's subclass (the capture).
class SettingsDialog final : private base::win::IWindowHook {
  public:
    SettingsDialog(base::Settings& settings, HelpViewer* help) : _settings(settings), _help(help) {}

    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT Message(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, DWORD_PTR refData) noexcept override;

  private:
    INT_PTR HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR OnCommand(int id, int code);

    void Form_Load();
    void ComboToken_Click(int comboId, int textId);
    void TokenList_Notify(bool& listOpen, int code, int comboId, int textId);
    void ZeroButton_Click();
    void MoreButton_Click();
    void OkButton_Click();
    void HotkeyEnabled_Click();
    void HotkeyBox_KeyDown(int keyCode, int shiftMask);

    HWND Item(int id) const noexcept { return ::GetDlgItem(_hwnd, id); }
    bool Checked(int id) const noexcept { return ::IsDlgButtonChecked(_hwnd, id) == BST_CHECKED; }
    void Check(int id, bool on) const noexcept { (void)::CheckDlgButton(_hwnd, id, on ? BST_CHECKED : BST_UNCHECKED); }
    int ListIndex(int id) const noexcept {
        return static_cast<int>(::SendDlgItemMessageA(_hwnd, id, CB_GETCURSEL, 0, 0));  // CB_ERR is -1
    }
    void SetListIndex(int id, int index) const noexcept {
        (void)::SendDlgItemMessageA(_hwnd, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    void AddTooltip(int id, const char* text) const noexcept;
    void SetWidth(int widthPx) const noexcept;

    base::Settings& _settings;
    HelpViewer* _help;
    HWND _hwnd = nullptr;
    HWND _tooltip = nullptr;       // owned by the dialog: destroyed with it
    DialogModel _model;            // holds the working hotkey values while the dialog is open
    bool _tokenList1Open = false;  // the preamble token list's list is dropped down
    bool _tokenList2Open = false;
};

INT_PTR CALLBACK SettingsDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    auto* self = base::DialogObject<SettingsDialog>(hwnd, msg, lParam);
    if (self == nullptr) {
        return FALSE;
    }
    if (msg == WM_INITDIALOG) {
        self->_hwnd = hwnd;
    }
    try {
        return self->HandleMessage(msg, wParam, lParam);
    } catch (...) {
        // Nothing may unwind into user32; the message gets the dialog manager's default.
        return FALSE;
    }
}

INT_PTR SettingsDialog::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_INITDIALOG:
            Form_Load();
            return TRUE;  // focus to the first control
        case WM_COMMAND:
            return OnCommand(LOWORD(wParam), HIWORD(wParam));
        case WM_HELP:
            if (_help != nullptr) {
                (void)_help->Show(_hwnd, HelpFilePath(RunningProgramFolder()), "settings.htm");
            }
            return TRUE;
        case WM_DESTROY:
            (void)base::win::DetachWindowHook(Item(IDC_SET_HOTKEY), this);
            return FALSE;
        default:
            (void)lParam;
            return FALSE;
    }
}

INT_PTR SettingsDialog::OnCommand(int id, int code) {
    switch (id) {
        case IDC_SET_PREAMBLE_TOKENS:
            TokenList_Notify(_tokenList1Open, code, IDC_SET_PREAMBLE_TOKENS, IDC_SET_PREAMBLE);
            return TRUE;
        case IDC_SET_POSTAMBLE_TOKENS:
            TokenList_Notify(_tokenList2Open, code, IDC_SET_POSTAMBLE_TOKENS, IDC_SET_POSTAMBLE);
            return TRUE;
        case IDC_SET_ADVANCED:
            if (code == BN_CLICKED) {
                ZeroButton_Click();
            }
            return TRUE;
        case IDC_SET_HOTKEY_ENABLED:
            if (code == BN_CLICKED) {
                HotkeyEnabled_Click();
            }
            return TRUE;
        case IDC_SET_MORE:
            if (code == BN_CLICKED) {
                MoreButton_Click();
            }
            return TRUE;
        case IDOK:
            OkButton_Click();
            return TRUE;
        case IDCANCEL:  // "Cancel", Esc and the close box: nothing is applied
            (void)::EndDialog(_hwnd, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
    }
}

void SettingsDialog::Form_Load() {
    const HWND owner = ::GetWindow(_hwnd, GW_OWNER);
    (void)::SendMessageA(_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(detail::OwnerIcon(owner, false)));
    (void)::SendMessageA(_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(detail::OwnerIcon(owner, true)));

    FillList(Item(IDC_SET_PREAMBLE_TOKENS), kTokenItems);
    FillList(Item(IDC_SET_POSTAMBLE_TOKENS), kTokenItems);
    FillList(Item(IDC_SET_FORMAT), kFormatItems);
    FillList(Item(IDC_SET_UNITS), kUnitItems);
    FillList(Item(IDC_SET_SAMPLE_RATE), kSampleRateItems);
    FillList(Item(IDC_SET_KEY_DELAY), kInterCharDelayItems);

    // What the settings file can keep; longer text would be cut on the next start.
    (void)::SendDlgItemMessageA(_hwnd, IDC_SET_PREAMBLE, EM_LIMITTEXT, kMaxSettingText, 0);
    (void)::SendDlgItemMessageA(_hwnd, IDC_SET_POSTAMBLE, EM_LIMITTEXT, kMaxSettingText, 0);
    (void)::SendDlgItemMessageA(_hwnd, IDC_SET_FORMAT, CB_LIMITTEXT, kMaxSettingText, 0);

    _model = LoadDialogModel(_settings);
    (void)base::win::SetWindowTextUtf8(Item(IDC_SET_PREAMBLE), _model.preamble);
    (void)base::win::SetWindowTextUtf8(Item(IDC_SET_POSTAMBLE), _model.postamble);
    (void)base::win::SetWindowTextUtf8(Item(IDC_SET_FORMAT), _model.weightFormat);
    (void)::SetDlgItemTextA(_hwnd, IDC_SET_HOTKEY, _model.hotkeyText.c_str());
    Check(IDC_SET_HOTKEY_ENABLED, _model.hotkeyEnabled);
    Check(IDC_SET_INCLUDE_UNITS, _model.includeUnits);
    Check(IDC_SET_COMMA_SEPARATOR, _model.commaSeparator);
    Check(IDC_SET_LOAD_WITH_WINDOWS, _model.loadWithWindows);
    Check(IDC_SET_MINIMIZE_AT_STARTUP, _model.minimizeAtStartup);
    SetListIndex(IDC_SET_UNITS, _model.unitsIndex);  // -1 clears the selection
    SetListIndex(IDC_SET_KEY_DELAY, _model.interCharDelayIndex);
    SetListIndex(IDC_SET_SAMPLE_RATE, _model.sampleRateIndex);
    // The greyed state must match the check box from the start, not only after a click.
    HotkeyEnabled_Click();

    (void)base::win::AttachWindowHook(Item(IDC_SET_HOTKEY), this);

    _tooltip = ::CreateWindowExW(/* dwExStyle */ WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                 WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, /* hWndParent */ _hwnd, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (_tooltip != nullptr) {
        // Long tips wrap instead of running across the screen.
        (void)::SendMessageA(_tooltip, TTM_SETMAXTIPWIDTH, 0, ::MulDiv(320, detail::WindowDpi(_hwnd), 96));
        (void)::SendMessageA(_tooltip, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(20000, 0));
        AddTooltip(IDC_SET_PREAMBLE, kPreambleTip);
        AddTooltip(IDC_SET_POSTAMBLE, kPostambleTip);
        AddTooltip(IDC_SET_HOTKEY, kHotkeyTip);
    }

    // Open narrow, showing the basic column only, centred over the owner.
    SetWidth(TwipsToPixels(kNarrowWidthTwips, detail::WindowDpi(_hwnd)));
    RECT self{};
    RECT area{};
    (void)::GetWindowRect(_hwnd, &self);
    if (owner == nullptr || !::IsWindowVisible(owner) || ::IsIconic(owner) || !::GetWindowRect(owner, &area)) {
        (void)::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    }
    const int width = self.right - self.left;
    const int height = self.bottom - self.top;
    int x = area.left + ((area.right - area.left) - width) / 2;
    int y = area.top + ((area.bottom - area.top) - height) / 2;
    // Keep the whole dialog on the monitor that holds its centre.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    const POINT centre{x + width / 2, y + height / 2};
    if (::GetMonitorInfoA(::MonitorFromPoint(centre, MONITOR_DEFAULTTONEAREST), &monitor)) {
        const RECT& work = monitor.rcWork;
        x = std::max(static_cast<int>(work.left), std::min(x, static_cast<int>(work.right) - width));
        y = std::max(static_cast<int>(work.top), std::min(y, static_cast<int>(work.bottom) - height));
    }
    (void)::SetWindowPos(_hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SettingsDialog::AddTooltip(int id, const char* text) const noexcept {
    // The version-2 size is understood by every comctl32, with or without a manifest.
    std::wstring wide;
    try {
        wide = base::win::ToWide(text);
    } catch (...) {
        return;  // no memory for the tip: the box works without it
    }
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = _hwnd;
    tool.uId = reinterpret_cast<UINT_PTR>(Item(id));
    tool.lpszText = wide.data();
    (void)::SendMessageW(_tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void SettingsDialog::SetWidth(int widthPx) const noexcept {
    RECT rect{};
    (void)::GetWindowRect(_hwnd, &rect);
    // Widening near the right edge of the screen moves the dialog left, so "Advanced..."
    // never shows a column the user cannot reach.
    int left = rect.left;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (::GetMonitorInfoA(::MonitorFromWindow(_hwnd, MONITOR_DEFAULTTONEAREST), &monitor)) {
        left = std::max(static_cast<int>(monitor.rcWork.left),
                        std::min(left, static_cast<int>(monitor.rcWork.right) - widthPx));
    }
    (void)::SetWindowPos(_hwnd, nullptr, left, rect.top, widthPx, rect.bottom - rect.top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
    const int narrow = TwipsToPixels(kNarrowWidthTwips, detail::WindowDpi(_hwnd));
    const int show = widthPx > narrow ? SW_SHOWNA : SW_HIDE;
    for (int id : kAdvancedControls) {
        (void)::ShowWindow(Item(id), show);
    }
}

// A token goes in when a choice is committed from the open list (a click on an item, or Enter),
// once. With the list closed, the arrow keys and the mouse wheel step through the items and each
// step is committed too (CBN_SELENDOK): those steps insert nothing.
void SettingsDialog::TokenList_Notify(bool& listOpen, int code, int comboId, int textId) {
    switch (code) {
        case CBN_DROPDOWN:
            listOpen = true;
            break;
        case CBN_CLOSEUP:
            listOpen = false;
            break;
        case CBN_SELENDOK:
            if (listOpen) {
                listOpen = false;  // the close-up follows; a second commit before it is no choice
                ComboToken_Click(comboId, textId);
            }
            break;
        default:
            break;
    }
}

// Token insertion: the chosen item replaces the text box's selection, or goes in at its caret.
void SettingsDialog::ComboToken_Click(int comboId, int textId) {
    const int index = ListIndex(comboId);
    if (index < 0 || static_cast<size_t>(index) >= kTokenItems.size()) {
        return;
    }
    const HWND box = Item(textId);
    DWORD selStart = 0;
    DWORD selEnd = 0;
    (void)::SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart), reinterpret_cast<LPARAM>(&selEnd));
    // The box counts UTF-16 units; the text is edited in UTF-8.
    const std::wstring wide = base::win::ToWide(detail::WindowText(box));
    const auto byteOffset = [&wide](DWORD units) {
        return static_cast<DWORD>(base::win::FromWide(std::wstring_view(wide).substr(0, units)).size());
    };
    const auto edit = InsertToken(base::win::FromWide(wide), byteOffset(selStart), byteOffset(selEnd),
                                  kTokenItems[static_cast<size_t>(index)]);
    if (!edit) {
        ::MessageBeep(MB_OK);  // it would not fit; half a token is worse than none
        return;
    }
    (void)base::win::SetWindowTextUtf8(box, edit->text);
    const auto caret =
        static_cast<WPARAM>(base::win::ToWide(std::string_view(edit->text).substr(0, edit->caret)).size());
    (void)::SendMessageW(box, EM_SETSEL, caret, static_cast<LPARAM>(caret));
}

void SettingsDialog::ZeroButton_Click() {
    RECT rect{};
    (void)::GetWindowRect(_hwnd, &rect);
    SetWidth(NextDialogWidthPx(rect.right - rect.left, detail::WindowDpi(_hwnd)));
}

void SettingsDialog::MoreButton_Click() {
    MorePage page(_model);
    (void)::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SETTINGS_MORE), _hwnd,
                            &MorePage::DialogProc, reinterpret_cast<LPARAM>(&page));
}

void SettingsDialog::OkButton_Click() {
    DialogModel model = _model;  // the working hotkey values
    model.preamble = detail::WindowText(Item(IDC_SET_PREAMBLE));
    model.postamble = detail::WindowText(Item(IDC_SET_POSTAMBLE));
    model.weightFormat = detail::WindowText(Item(IDC_SET_FORMAT));
    model.hotkeyEnabled = Checked(IDC_SET_HOTKEY_ENABLED);
    model.includeUnits = Checked(IDC_SET_INCLUDE_UNITS);
    model.commaSeparator = Checked(IDC_SET_COMMA_SEPARATOR);
    model.loadWithWindows = Checked(IDC_SET_LOAD_WITH_WINDOWS);
    model.minimizeAtStartup = Checked(IDC_SET_MINIMIZE_AT_STARTUP);
    model.unitsIndex = ListIndex(IDC_SET_UNITS);
    model.sampleRateIndex = ListIndex(IDC_SET_SAMPLE_RATE);
    model.interCharDelayIndex = ListIndex(IDC_SET_KEY_DELAY);
    if (const auto refusal = CheckDialogModel(model)) {
        ShowRefusal(_hwnd, *refusal);  // nothing is applied
        return;
    }
    ApplyDialogModel(model, _settings);
    (void)::EndDialog(_hwnd, IDOK);
}

void SettingsDialog::HotkeyEnabled_Click() {
    const BOOL enable = Checked(IDC_SET_HOTKEY_ENABLED) ? TRUE : FALSE;
    for (int id : kHotkeyControls) {
        (void)::EnableWindow(Item(id), enable);
    }
}

void SettingsDialog::HotkeyBox_KeyDown(int keyCode, int shiftMask) {
    if (const auto capture = keys::CaptureHotkey(keyCode, shiftMask)) {
        _model.hotkeyText = capture->text;
        _model.hotkeyCode = capture->code;
        (void)::SetDlgItemTextA(_hwnd, IDC_SET_HOTKEY, _model.hotkeyText.c_str());
        (void)::SendDlgItemMessageA(_hwnd, IDC_SET_HOTKEY, EM_SETSEL, 0, -1);
    }
}

// The hotkey box shows only what the capture put there: every key press, with or without
// Alt, becomes the hotkey, and nothing typed, pasted or undone reaches the text. Plain Tab
// and Shift+Tab still move on, so the dialog stays usable from the keyboard.
LRESULT SettingsDialog::Message(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, DWORD_PTR) noexcept {
    try {
        switch (msg) {
            case WM_GETDLGCODE: {
                const auto* keyMsg = reinterpret_cast<const MSG*>(lParam);
                const bool tabToMoveOn = keyMsg != nullptr && keyMsg->message == WM_KEYDOWN &&
                                         keyMsg->wParam == VK_TAB && ::GetKeyState(VK_CONTROL) >= 0 &&
                                         ::GetKeyState(VK_MENU) >= 0;
                if (tabToMoveOn) {
                    return ::DefSubclassProc(hwnd, msg, wParam, lParam);
                }
                return ::DefSubclassProc(hwnd, msg, wParam, lParam) | DLGC_WANTALLKEYS | DLGC_WANTCHARS;
            }
            case WM_KEYDOWN:
            case WM_SYSKEYDOWN:
                HotkeyBox_KeyDown(static_cast<int>(wParam), ModifierMask());
                return 0;
            case WM_KEYUP:
            case WM_SYSKEYUP:  // so a released Alt or F10 does not go on to the menu
            case WM_CHAR:
            case WM_SYSCHAR:
            case WM_DEADCHAR:
            case WM_SYSDEADCHAR:
            case WM_PASTE:
            case WM_CUT:
            case WM_CLEAR:
            case WM_UNDO:
            case WM_CONTEXTMENU:
                return 0;
            case kKeyF1Message:  // F1 is a hotkey like any other here, not a request for help
            case WM_HELP:
                return TRUE;
            case WM_SETFOCUS: {
                const LRESULT result = ::DefSubclassProc(hwnd, msg, wParam, lParam);
                (void)::SendMessageA(hwnd, EM_SETSEL, 0, -1);
                return result;
            }
            default:
                break;
        }
    } catch (...) {
        // Fall through to the edit control's own handling.
    }
    return ::DefSubclassProc(hwnd, msg, wParam, lParam);
}

}  // namespace

bool ShowSettingsDialog(HWND owner, base::Settings& inOut, HelpViewer* help) {
    keys::BuildHotkeyNames();
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
    (void)::InitCommonControlsEx(&controls);
    SettingsDialog dialog(inOut, help);
    const INT_PTR result = ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SETTINGS), owner,
                                             &SettingsDialog::DialogProc, reinterpret_cast<LPARAM>(&dialog));
    return result == IDOK;
}

}  // namespace dialogs

// The main window's events: what a click, a menu command, a resize or the close box does.
#include "app/MainWindow_win.h"

#include "app/resource.h"
#include "dialogs/SettingsDialog_win.h"

namespace app {

void MainWindow::Form_Load(std::string_view arguments) {
    if (RunStartup(*this, _state, _shell, arguments) == StartupOutcome::Running) {
        ApplyWebSettings();
        ApplyHandsFreeIndicators();
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
        return;  // sizes set while the window is being built are not the user's
    }
    if (sizeType != SIZE_MINIMIZED) {
        if (!::IsWindowVisible(_hwnd) && !_shell.startHidden) {
            ::ShowWindow(_hwnd, SW_SHOW);
        }
    } else if (_shell.trayIconShown && _trayIcon.Present()) {
        ::ShowWindow(_hwnd, SW_HIDE);  // only the icon remains; without it the window stays reachable
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

// The shell lost every icon when it restarted, or a shell has started since the icon was
// refused: ours comes back, or appears, unless there was to be none ("-H").
void MainWindow::Form_TaskbarCreated() {
    if (_shell.trayIconShown) {
        _trayIcon.Readd();
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
        _devices.Serial().SetPollIntervalMs(_state.settings.SampleRate);
        ApplyWebSettings();
        ApplyHandsFreeIndicators();
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
    HMENU edit = bar != nullptr ? ::GetSubMenu(bar, 1) : nullptr;  // "Edit", second on the bar
    if (edit != nullptr) {
        (void)::SetForegroundWindow(_hwnd);
        (void)::TrackPopupMenu(edit, TPM_LEFTALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, 0, _hwnd, nullptr);
    }
}

// The web endpoint's zero request comes here too: a scale without a zero command refuses it.
bool MainWindow::ZeroButton_Click() {
    return _devices.Selection().CanZero() && weighing::ZeroButton_Click(_state, ListIndex(), _scaleDevice);
}

void MainWindow::RefreshButton_Click() {
    _devices.Selection().RefreshButton_Click();
    ScaleChoice_Apply();
}

void MainWindow::ScaleList_Click() {
    _devices.Selection().ScaleList_Click();
    ScaleChoice_Apply();
}

void MainWindow::SerialPorts_Change() {
    _devices.ArmPortWatch();
    RefreshButton_Click();
}

void MainWindow::ScaleChoice_Apply() {
    const bool canZero = _devices.Selection().CanZero();
    if (canZero != _zeroEnabled) {
        _zeroEnabled = canZero;
        (void)::EnableWindow(Control(IDC_ZERO_BUTTON), canZero ? TRUE : FALSE);
    }
    if (const auto found = _devices.Serial().TakeFound()) {
        RememberSerialScale(found->first, found->second);
    }
    RefreshStatusLine();
}

bool MainWindow::ReadTimer_Tick() {
    if (_unloading) {
        return false;
    }
    ++_tickDepth;
    bool changed = false;
    try {
        changed = _readCycle.ReadWeight();
    } catch (...) {
        if (--_tickDepth == 0) {
            _cycleMessages.Release();
        }
        throw;
    }
    if (--_tickDepth == 0) {
        ShowPendingWeightBox();
        PublishWebReading();
        ScaleChoice_Apply();
        _cycleMessages.Release();
    }
    return changed;
}

void MainWindow::KbdHook(int32_t hotkeyId) {
    if (_sender) {
        _sender->KbdHook(hotkeyId);
    }
}

}  // namespace app

// The views the subsystems see of the main window: the reading's lines, the read timer, the scale list.
#include "app/MainWindow_win.h"

#include "app/resource.h"
#include "base/win/MessagePump_win.h"
#include "base/win/WinText_win.h"

namespace app {

namespace {

std::string GetText(HWND hwnd) {
    return base::win::WindowTextUtf8(hwnd);
}
}  // namespace

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

// A scale that keeps sending the same report runs no read cycle that would put the weight back
// over what the user typed: the edit itself does. Our own write comes here too, and finds the
// box as it left it.
void MainWindow::WeightBox_Change() {
    if (_tickDepth == 0) {
        ShowPendingWeightBox();
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
    if (_tickDepth == 0) {
        PublishWebReading();  // the reading carries the status the window shows; a tick publishes at its end
    }
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
        const base::ScopeExit release{[&] { (void)::ReleaseDC(label, dc); }};
        HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(label, WM_GETFONT, 0, 0)));
        const base::ScopeExit restore{[&] { (void)::SelectObject(dc, old); }};
        SIZE extent{};
        const std::wstring wideCaption = base::win::ToWide(caption);
        if (::GetTextExtentPoint32W(dc, wideCaption.c_str(), static_cast<int>(wideCaption.size()), &extent)) {
            // One pixel either side for rounding, so the last letter is never cut.
            width = TwipsToPixels(WeightCaptionWidth(PixelsToTwips(static_cast<int>(extent.cx) + 2, _dpi)), _dpi);
        }
    }
    RECT rc{};
    if (::GetWindowRect(label, &rc) && rc.right - rc.left != width) {
        (void)::SetWindowPos(label, nullptr, 0, 0, width, rc.bottom - rc.top,
                             SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
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
        return;  // the open menu's or dialog's own loop handles the messages when the tick returns
    }
    if (_tickDepth == 0) {
        (void)base::win::DispatchPendingMessages();
        return;
    }
    // A menu or dialog opened inside the read cycle would freeze the weight: such messages wait.
    (void)base::win::DispatchPendingMessages(1000, [this](MSG& msg) { return _cycleMessages.Hold(msg, _hwnd); });
}

}  // namespace app

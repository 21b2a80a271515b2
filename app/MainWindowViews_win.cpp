// The views the subsystems see of the main window: the reading's lines, the read timer, the scale list.
#include "app/MainWindow_win.h"

#include "app/resource.h"
#include "base/win/MessagePump_win.h"
#include "base/win/WinText_win.h"

namespace app {

// ---- the views ----------------------------------------------------------------------------

void MainWindow::SetWeightBox(std::string_view text) {
    _pendingWeightBox = text;
    if (_tickDepth == 0) {
        ShowPendingWeightBox();
    }
}

// The box is editable, so what it holds may be what the user typed or pasted: its change
// notification marks that, and the next reading writes the weight over it. Unchanged text needs
// no repaint, and only a changed weight is advised.
void MainWindow::ShowPendingWeightBox() {
    const WeightBoxText::Update update = _weightBoxText.Show(_pendingWeightBox);
    if (update.write) {
        _writingWeightBox = true;
        const base::ScopeExit written{[this] { _writingWeightBox = false; }};
        (void)base::win::SetWindowTextUtf8(_weightBox, _weightBoxText.Weight());
    }
    if (update.changed) {
        _dde.WeightChanged();
        PublishWebReading();
    }
}

// The user typed, pasted or cut in the box. A scale that keeps sending the same report runs no
// read cycle that would put the weight back over it, so the edit itself does while a scale is
// read; our own write comes here too and changes nothing.
void MainWindow::Weight_Change() {
    if (_writingWeightBox) {
        return;
    }
    _weightBoxText.Edited();
    if (_tickDepth == 0 && TimerEnabled()) {
        ShowPendingWeightBox();
    }
}

// The weight as the program last showed it, never text the user typed into the box: Edit > Copy
// and DDE hand it to other programs.
std::string MainWindow::WeightBox() const {
    return _weightBoxText.Weight();
}

void MainWindow::SetStatus(std::string_view text) {
    _statusCaption = _scaleStatus.Compose(text, _devices.Selection().Notice());
    RefreshStatusLine();
    if (_tickDepth == 0) {
        PublishWebReading();  // the reading carries the status the window shows; a tick publishes at its end
    }
}

// The caption carries the unit ("Weight (kg):"), which is wider than the label's design width
// and would wrap out of sight: the label grows to fit its text, up to the zero button beside it,
// and never below its design width. The same caption again needs neither text nor measuring.
void MainWindow::SetWeightCaption(std::string_view text) {
    HWND label = _weightLabel;
    if (!_weightCaption.Set(text)) {
        return;
    }
    const std::string& caption = _weightCaption.Text();
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
    ::SendMessageA(_scaleList, LB_RESETCONTENT, 0, 0);
}

void MainWindow::AddListRow(std::string_view text) {
    ::SendMessageW(_scaleList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(base::win::ToWide(text).c_str()));
}

int MainWindow::ListCount() const {
    return static_cast<int>(::SendMessageA(_scaleList, LB_GETCOUNT, 0, 0));
}

int MainWindow::ListIndex() const {
    const LRESULT i = ::SendMessageA(_scaleList, LB_GETCURSEL, 0, 0);
    return i == LB_ERR ? -1 : static_cast<int>(i);
}

void MainWindow::SetListIndex(int index) {
    ::SendMessageA(_scaleList, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
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

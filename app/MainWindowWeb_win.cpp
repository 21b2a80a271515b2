// The main window's wiring of the local web endpoint.
#include "app/MainWindow_win.h"

#include <chrono>

#include "app/WebReading.h"

namespace app {

namespace {

// The window's texts are in the ANSI code page; the web speaks UTF-8.
std::string base::win::AnsiToUtf8(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int wide = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (wide <= 0) {
        return {};
    }
    std::wstring w(static_cast<size_t>(wide), L'\0');
    (void)::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), w.data(), wide);
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    (void)::WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace

// The status line keeps the scale's words; the notice fills it while they are empty.
void MainWindow::SetWebNotice(const std::string& notice) {
    if (notice == _webNotice) {
        return;  // an endpoint that stays off leaves the line alone
    }
    _webNotice = notice;
    SetStatus(_statusCaption);
}

void MainWindow::ApplyWebSettings() {
    _web.Apply(web::WebConfigFromSettings(_state.settings.WebPort, _state.settings.WebOrigins));
    PublishWebReading();
}

// Runs after every read cycle and every change of the Weight box; the server hears of it
// without the window waiting for any client.
void MainWindow::PublishWebReading() {
    const int row = ListIndex();
    std::optional<std::string> scale;
    if (row >= 0 && static_cast<size_t>(row) < _state.scaleTable.size()) {
        scale = base::win::AnsiToUtf8(_state.scaleTable[static_cast<size_t>(row)].displayName);
    }
    const auto now =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    _web.Publish(MakeWebReading(_state, base::win::AnsiToUtf8(_lastWeightBox), std::move(scale), now));
}

}  // namespace app

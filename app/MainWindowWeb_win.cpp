// The main window's wiring of the local web endpoint.
#include "app/MainWindow_win.h"

#include <chrono>

#include "app/WebReading.h"

namespace app {

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
// without the window waiting for any client, and keeps only what changed. An endpoint that is
// off costs nothing here: ApplyWebSettings publishes the reading when it comes on.
void MainWindow::PublishWebReading() {
    if (!_web.Running()) {
        return;
    }
    _web.Publish(WebReadingOf(_weightBoxText.Weight()));
}

// The reading as a web page sees it: the weight text given, the selected scale's name, the time now.
web::Reading MainWindow::WebReadingOf(const std::string& weightText) const {
    const int row = ListIndex();
    std::optional<std::string> scale;
    if (row >= 0 && static_cast<size_t>(row) < _state.scaleTable.size()) {
        scale = _state.scaleTable[static_cast<size_t>(row)].displayName;
    }
    const auto now =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    return MakeWebReading(_state, weightText, std::move(scale), now, _statusCaption);
}

}  // namespace app

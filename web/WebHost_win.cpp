#include "web/WebHost_win.h"

#include "web/Sessions_win.h"

namespace web {

namespace {
constexpr wchar_t kRelayClass[] = L"Pesora.WebRelay";
// A port another program holds, or one Windows keeps for itself for a while, may come free:
// it is tried again at this interval until it does or the settings change.
constexpr UINT kRetryMs = 3000;
constexpr UINT_PTR kRetryTimer = 1;
}  // namespace

WebHost::WebHost(std::string version, std::function<bool()> onZero, std::function<void(const std::string&)> onStatus)
    : _version(std::move(version)), _onZero(std::move(onZero)), _onStatus(std::move(onStatus)) {}

// Silent: the owner that would show a notice may be half destroyed by now.
WebHost::~WebHost() {
    _server.Stop();
}

// The zero command must run where the button's click runs: on the window's thread, between
// read cycles. The server's thread only posts, one zero at a time, and hears back when it is done.
LRESULT CALLBACK WebHost::RelayProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    auto* self = reinterpret_cast<WebHost*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self != nullptr && msg == WM_TIMER && wParam == kRetryTimer) {
        try {
            self->OnRetry();
        } catch (...) {
            // tried again at the next tick
        }
        return 0;
    }
    if (msg != WM_APP_WEB_ZERO) {
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    if (self == nullptr) {
        return 0;
    }
    bool sent = false;
    try {
        sent = self->_onZero && self->_onZero();
    } catch (...) {
        // a failed zero is answered as one that reached no scale
    }
    self->_server.ZeroDone(sent);
    return 0;
}

bool WebHost::EnsureRelayWindow() {
    if (_relay) {
        return true;
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &WebHost::RelayProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kRelayClass;
    (void)::RegisterClassExW(&wc);  // already registered by an earlier host: fine
    _relay.reset(::CreateWindowExW(/* dwExStyle */ 0, kRelayClass, L"", /* dwStyle */ 0, 0, 0, 0, 0, HWND_MESSAGE,
                                   /* hMenu */ nullptr, wc.hInstance, /* lpParam */ nullptr));
    if (!_relay) {
        return false;
    }
    ::SetWindowLongPtrW(_relay.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return true;
}

void WebHost::Apply(const WebConfig& config) {
    if (config == _config && (_server.Running() || config.port == 0)) {
        return;
    }
    Stop();
    if (config.port == 0) {
        _onStatus({});
        return;
    }
    Start(config);
}

void WebHost::OnRetry() {
    if (_waiting.port == 0 || _server.Running()) {
        (void)::KillTimer(_relay.get(), kRetryTimer);
        return;
    }
    const WebConfig config = _waiting;  // a copy: starting clears what waits
    Start(config);
}

void WebHost::Start(const WebConfig& config) {
    if (!EnsureRelayWindow()) {
        _onStatus(StartFailedText(config.port));
        return;
    }
    HWND relay = _relay.get();
    const StartResult result =
        _server.Start(config, _version, [relay] { return ::PostMessageW(relay, WM_APP_WEB_ZERO, 0, 0) != FALSE; });
    switch (result) {
        case StartResult::Listening:
            _config = config;
            _waiting = WebConfig{};
            (void)::KillTimer(_relay.get(), kRetryTimer);
            _onStatus(ListeningText(config.port, config.refused));
            break;
        case StartResult::PortTaken:
        case StartResult::PortReserved:
            if (_waiting.port == 0) {
                (void)::SetTimer(_relay.get(), kRetryTimer, kRetryMs, /* lpTimerFunc */ nullptr);
            }
            _waiting = config;
            _onStatus(result == StartResult::PortTaken ? TakenText(config.port) : PortReservedText(config.port));
            break;
        case StartResult::Failed:
            _onStatus(StartFailedText(config.port));
            break;
    }
}

// Another user's copy on a terminal server holds the port: said so, with its session, so that this
// user knows to give their copy a port of its own.
std::string WebHost::TakenText(uint16_t port) {
    const uint32_t own = OwnSession();
    return PortTakenText(port, own, OtherSessionsExist(own) ? ListenerSession(port) : std::nullopt);
}

void WebHost::Stop() {
    const bool wasOn = _server.Running();
    _server.Stop();
    _config = WebConfig{};
    if (_waiting.port != 0) {
        _waiting = WebConfig{};
        (void)::KillTimer(_relay.get(), kRetryTimer);
    }
    if (wasOn) {
        _onStatus({});  // nothing to announce any more
    }
}

}  // namespace web

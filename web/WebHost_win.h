#pragma once
// The window thread's side of the web endpoint: applies the settings (restarting the server on
// a new port at once), publishes readings, and brings a zero request from the server's thread
// back to the window's thread through a private message to a message-only window of its own.
#include <windows.h>

#include <functional>
#include <string>

#include "base/win/Handles_win.h"
#include "web/WebServer_win.h"

namespace web {

class WebHost {
  public:
    // `onZero` runs on the thread that called Apply, as the zero button's click does, and says
    // whether the zero report went to a scale; `onStatus` gets the endpoint's notice for the
    // status line (empty when there is none). `version` is the program's, for GET /.
    WebHost(std::string version, std::function<bool()> onZero, std::function<void(const std::string&)> onStatus);
    ~WebHost();
    WebHost(const WebHost&) = delete;
    WebHost& operator=(const WebHost&) = delete;

    // Starts, restarts or stops the server when the configuration differs from the one in use.
    void Apply(const WebConfig& config);
    void Publish(const Reading& reading) { _server.Publish(reading); }
    void PublishSent(const Reading& reading) { _server.PublishSent(reading); }
    [[nodiscard]] bool Running() const { return _server.Running(); }
    void Stop();

  private:
    static LRESULT CALLBACK RelayProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
    bool EnsureRelayWindow();

    enum RelayMessages : UINT {
        WM_APP_WEB_ZERO = WM_APP + 1,  // a POST /zero arrived
    };
    void Start(const WebConfig& config);
    void OnRetry();
    static std::string TakenText(uint16_t port);

    std::string _version;
    std::function<bool()> _onZero;
    std::function<void(const std::string&)> _onStatus;
    WebConfig _config;         // in use; port 0 while stopped
    WebConfig _waiting;        // asked for while its port is taken or reserved: tried again
    base::unique_hwnd _relay;  // destroyed after the server has stopped posting to it
    WebServer _server;
};

}  // namespace web

#pragma once
// The local HTTP endpoint: GET /weight, GET /events (Server-Sent Events), POST /zero. It runs
// on a thread of its own, listens on 127.0.0.1 and ::1 only, and knows nothing of the window:
// the window publishes each reading into it, and a zero request comes out as a callback that
// must only post to the window's thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "web/Reading.h"
#include "web/WebSettings.h"

namespace web {

enum class StartResult { Listening, PortTaken, PortReserved, Failed };

// Limits that keep a flood of clients from costing more than a little memory.
inline constexpr int kMaxConnections = 32;
inline constexpr size_t kMaxHeaderBytes = 8 * 1024;
inline constexpr size_t kMaxBodyBytes = 1024;
// Bytes waiting for one event-stream client; a client that stops reading is dropped beyond it.
inline constexpr size_t kMaxQueuedBytes = 16 * 1024;

class WebServer {
  public:
    WebServer();
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Binds config.port on the loopback addresses and starts serving; stops a running server
    // first. `onZero` runs on the server's thread and only hands the zero on (false: it could
    // not); ZeroDone then answers the request that asked for it. `version` is told by GET /.
    StartResult Start(const WebConfig& config, std::string version, std::function<bool()> onZero);
    void Stop();
    [[nodiscard]] bool Running() const;

    // From the window's thread when the zero handed on by `onZero` is done: `sent` when the zero
    // report went to a scale, false when none is open.
    void ZeroDone(bool sent);

    // From the window's thread after each read cycle: never blocks on a client. Clients of
    // /events hear of it when it differs from the last one published (time aside).
    void Publish(const Reading& reading);
    // A weight was typed hands-free: every /events client hears an "event: sent" with it.
    void PublishSent(const Reading& reading);

  private:
    class Impl;
    std::unique_ptr<Impl> _impl;
    // The latest reading survives a restart on another port.
    std::shared_ptr<struct Snapshot> _snapshot;
};

}  // namespace web

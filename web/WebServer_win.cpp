// Boost.Asio brings in winsock2.h; it must come before anything that includes windows.h.
// Boost 1.74's coroutine support uses std::exchange without including <utility> (C++20 only).
#include <utility>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "web/WebServer_win.h"

#include <chrono>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "web/RequestPolicy.h"
#include "web/Sse.h"

namespace web {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using namespace std::chrono_literals;

// Shared between the window's thread (Publish) and the server's thread (GET /weight, the event
// clients). Read and counted under one lock: a client joining while a reading is published
// either starts with that reading or is counted in time to get it as an event.
struct Snapshot {
    std::mutex mutex;
    Reading reading;
    bool published = false;
    int eventClients = 0;
};

namespace {

// Asio starts Winsock from a static initialiser in every program that includes it, before main,
// whether a server ever runs or not. Its "manual" token, constructed before Asio's own statics
// (hence the priority), tells it that the program starts and ends Winsock itself: we do, only
// while a server runs (WinsockSession). Other compilers keep Asio's start before main.
#if defined(__GNUC__)
__attribute__((init_priority(200))) const boost::asio::detail::winsock_init<>::manual winsockStartedByUs;
#endif

// Winsock for as long as one server runs; Asio's own count keeps it from ending it earlier.
class WinsockSession {
  public:
    WinsockSession() {
        WSADATA data;
        _started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockSession() {
        if (_started) {
            (void)::WSACleanup();
        }
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;

  private:
    bool _started = false;
};

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

constexpr auto kRequestTimeout = 10s;  // for a whole request to arrive, and between requests
constexpr auto kWriteTimeout = 10s;    // for a response to leave
// An event stream's client reads as fast as events come; one that has not taken an event in
// this time has stopped reading.
constexpr auto kEventWriteTimeout = 5s;
// A small send buffer for event streams: events are small, and a client that stops reading then
// fills it (and its queue) soon, instead of parking megabytes in the system's buffers.
constexpr int kEventSendBuffer = 8 * 1024;

// The snapshot holds the reading as of its last change, which is still the reading now: it is
// served with the time it is asked for, as a reading published on every read cycle would be.
Reading CurrentReading(Snapshot& snapshot) {
    Reading reading;
    {
        std::lock_guard lock(snapshot.mutex);
        reading = snapshot.reading;
    }
    reading.timeMs = NowMs();
    return reading;
}

}  // namespace

class WebServer::Impl {
  public:
    Impl(WebConfig config, std::function<void()> onZero, std::shared_ptr<Snapshot> snapshot)
        : config(std::move(config)), onZero(std::move(onZero)), snapshot(std::move(snapshot)) {}

    class Session;
    class EventClient;

    WinsockSession winsock;  // first in, last out: the sockets below need it
    // Declared before the io_context so that they outlive the handlers it destroys.
    WebConfig config;
    std::function<void()> onZero;
    std::shared_ptr<Snapshot> snapshot;
    int connections = 0;
    std::set<std::shared_ptr<EventClient>> eventClients;

    asio::io_context io{1};
    std::vector<tcp::acceptor> acceptors;
    // Made for the first event client: Asio runs a thread of its own for timers from the first
    // timer on, which a server nobody follows does not need.
    std::optional<asio::steady_timer> keepAlive;
    bool keepAliveDue = false;
    std::thread thread;

    StartResult Listen();
    void Accept(tcp::acceptor& acceptor);
    void ScheduleKeepAlive();
    void Broadcast(const std::string& event);
};

// One event-stream client: its own queue of events, one write at a time, a read that only
// notices the client going away, and a write time-out after which a client that stopped
// reading is dropped.
class WebServer::Impl::EventClient : public std::enable_shared_from_this<EventClient> {
  public:
    EventClient(Impl& server, beast::tcp_stream stream) : _server(server), _stream(std::move(stream)) {}
    ~EventClient() {
        --_server.connections;
        if (_counted) {
            std::lock_guard lock(_server.snapshot->mutex);
            --_server.snapshot->eventClients;
        }
    }

    // `head` is the response's head; the stream's first event, the current reading, follows it.
    void Start(std::string head) {
        {
            std::lock_guard lock(_server.snapshot->mutex);
            ++_server.snapshot->eventClients;
            _counted = true;
            if (_server.snapshot->published) {
                Reading reading = _server.snapshot->reading;
                reading.timeMs = NowMs();
                head += SseEvent(ReadingJson(reading));
            }
        }
        beast::error_code ignored;
        (void)_stream.socket().set_option(asio::socket_base::send_buffer_size(kEventSendBuffer), ignored);
        _server.eventClients.insert(shared_from_this());
        _server.ScheduleKeepAlive();
        WatchForClose();
        Send(std::move(head));
    }

    void Send(std::string bytes) {
        if (_dropped) {
            return;
        }
        if (_queuedBytes + bytes.size() > kMaxQueuedBytes) {
            Drop();
            return;
        }
        _queuedBytes += bytes.size();
        _queue.push_back(std::move(bytes));
        if (!_writing) {
            WriteNext();
        }
    }

  private:
    void WriteNext() {
        _writing = true;
        _stream.expires_after(kEventWriteTimeout);
        asio::async_write(_stream, asio::buffer(_queue.front()),
                          [self = shared_from_this()](beast::error_code ec, size_t) { self->OnWritten(ec); });
    }

    void OnWritten(beast::error_code ec) {
        _writing = false;
        if (ec) {
            Drop();
            return;
        }
        _queuedBytes -= _queue.front().size();
        _queue.pop_front();
        if (!_queue.empty()) {
            WriteNext();
        } else {
            _stream.expires_never();
        }
    }

    void WatchForClose() {
        _stream.async_read_some(asio::buffer(_scratch), [self = shared_from_this()](beast::error_code ec, size_t) {
            if (ec) {
                self->Drop();
            } else {
                self->WatchForClose();  // whatever a client sends on a stream is ignored
            }
        });
    }

    void Drop() {
        if (_dropped) {
            return;
        }
        _dropped = true;
        beast::error_code ignored;
        _stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
        _stream.close();
        _server.eventClients.erase(shared_from_this());
    }

    Impl& _server;
    beast::tcp_stream _stream;
    std::deque<std::string> _queue;
    size_t _queuedBytes = 0;
    bool _writing = false;
    bool _dropped = false;
    bool _counted = false;  // in the snapshot's count of event clients
    char _scratch[256];
};

// One connection until it turns into an event stream or closes: requests are read with bounded
// header and body sizes and a time-out, answered, and the connection kept open when asked.
class WebServer::Impl::Session : public std::enable_shared_from_this<Session> {
  public:
    Session(Impl& server, tcp::socket socket) : _server(server), _stream(std::move(socket)) { ++_server.connections; }
    ~Session() {
        if (!_handedOver) {
            --_server.connections;
        }
    }

    void Read() {
        _parser.emplace();
        _parser->header_limit(kMaxHeaderBytes);
        _parser->body_limit(kMaxBodyBytes);
        _stream.expires_after(kRequestTimeout);
        http::async_read(_stream, _buffer, *_parser,
                         [self = shared_from_this()](beast::error_code ec, size_t) { self->OnRead(ec); });
    }

  private:
    void OnRead(beast::error_code ec) {
        if (ec == http::error::header_limit || ec == http::error::body_limit) {
            Respond(ec == http::error::header_limit ? http::status::request_header_fields_too_large
                                                    : http::status::payload_too_large,
                    {}, "", false);
            return;
        }
        if (ec) {
            Close();
            return;
        }
        const auto& req = _parser->get();
        RequestHead head;
        head.method = std::string_view(req.method_string().data(), req.method_string().size());
        head.target = std::string_view(req.target().data(), req.target().size());
        // A repeated Host or Origin is refused: which one would a proxy have checked?
        if (req.count(http::field::host) == 1) {
            const auto host = req[http::field::host];
            head.host = std::string_view(host.data(), host.size());
        }
        if (req.count(http::field::origin) > 1 || req.count(http::field::host) > 1) {
            Respond(http::status::bad_request, {}, "", false);
            return;
        }
        if (req.count(http::field::origin) == 1) {
            const auto origin = req[http::field::origin];
            head.origin = std::string_view(origin.data(), origin.size());
        }
        const auto pna = req["Access-Control-Request-Private-Network"];
        head.privateNetworkPreflight = pna == "true";
        const Decision d = Decide(head, _server.config.origins);
        const bool keepAlive = req.keep_alive();
        switch (d.route) {
            case Route::Weight:
                Respond(http::status::ok, d.headers, ReadingJson(CurrentReading(*_server.snapshot)), keepAlive);
                return;
            case Route::Events:
                StartEvents(d.headers);
                return;
            case Route::Zero:
                if (_server.onZero) {
                    _server.onZero();
                }
                Respond(http::status::no_content, d.headers, "", keepAlive);
                return;
            case Route::Preflight:
                Respond(http::status::no_content, d.headers, "", keepAlive);
                return;
            case Route::Refused:
                Respond(static_cast<http::status>(d.status), d.headers, "", keepAlive && d.status != 400);
                return;
        }
    }

    void Respond(http::status status,
                 const std::vector<std::pair<std::string, std::string>>& headers,
                 std::string body,
                 bool keepAlive) {
        auto res = std::make_shared<http::response<http::string_body>>(status, 11);
        res->set(http::field::server, "Pesora");
        res->set(http::field::cache_control, "no-store");
        if (!body.empty()) {
            res->set(http::field::content_type, "application/json; charset=utf-8");
        }
        for (const auto& [name, value] : headers) {
            res->set(name, value);
        }
        res->body() = std::move(body);
        res->keep_alive(keepAlive);
        res->prepare_payload();
        _stream.expires_after(kWriteTimeout);
        http::async_write(_stream, *res, [self = shared_from_this(), res, keepAlive](beast::error_code ec, size_t) {
            if (ec || !keepAlive) {
                self->Close();
            } else {
                self->Read();
            }
        });
    }

    // The stream has no length: it lasts as long as the connection.
    void StartEvents(const std::vector<std::pair<std::string, std::string>>& headers) {
        std::string head =
            "HTTP/1.1 200 OK\r\nServer: Pesora\r\nContent-Type: text/event-stream; charset=utf-8\r\n"
            "Cache-Control: no-store\r\nConnection: close\r\nX-Accel-Buffering: no\r\n";
        for (const auto& [name, value] : headers) {
            head += name + ": " + value + "\r\n";
        }
        head += "\r\n";
        head += SseStreamStart();
        _handedOver = true;
        _stream.expires_never();
        auto client = std::make_shared<EventClient>(_server, std::move(_stream));
        client->Start(std::move(head));
    }

    void Close() {
        beast::error_code ignored;
        _stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
        _stream.close();
    }

    Impl& _server;
    beast::tcp_stream _stream;
    beast::flat_buffer _buffer{kMaxHeaderBytes + kMaxBodyBytes};
    std::optional<http::request_parser<http::string_body>> _parser;
    bool _handedOver = false;
};

StartResult WebServer::Impl::Listen() {
    bool portTaken = false;
    for (const auto& address : {asio::ip::make_address("127.0.0.1"), asio::ip::make_address("::1")}) {
        tcp::acceptor acceptor(io);
        beast::error_code ec;
        const tcp::endpoint endpoint(address, config.port);
        (void)acceptor.open(endpoint.protocol(), ec);
        if (ec) {
            continue;  // no IPv6 on this machine: IPv4 alone serves
        }
        if (address.is_v6()) {
            (void)acceptor.set_option(asio::ip::v6_only(true), ec);
        }
        // Never SO_REUSEADDR: on Windows it would let two programs share the port. Exclusive use
        // keeps another program from taking it over; where it is not known, binding still works.
        (void)acceptor.set_option(asio::detail::socket_option::boolean<SOL_SOCKET, SO_EXCLUSIVEADDRUSE>(true), ec);
        (void)acceptor.bind(endpoint, ec);
        if (ec) {
            portTaken = portTaken || ec == asio::error::address_in_use || ec == asio::error::access_denied;
            continue;
        }
        (void)acceptor.listen(asio::socket_base::max_listen_connections, ec);
        if (ec) {
            continue;
        }
        acceptors.push_back(std::move(acceptor));
    }
    if (acceptors.empty() || portTaken) {
        // Half a server (IPv6 only because another program holds IPv4) would surprise: none.
        acceptors.clear();
        return portTaken ? StartResult::PortTaken : StartResult::Failed;
    }
    for (auto& acceptor : acceptors) {
        Accept(acceptor);
    }
    return StartResult::Listening;
}

void WebServer::Impl::Accept(tcp::acceptor& acceptor) {
    acceptor.async_accept([this, &acceptor](beast::error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted) {
            return;
        }
        if (!ec) {
            if (connections >= kMaxConnections) {
                beast::error_code ignored;
                socket.close(ignored);  // refused at once rather than left waiting
            } else {
                std::make_shared<Session>(*this, std::move(socket))->Read();
            }
        }
        Accept(acceptor);
    });
}

// While any event client is connected; the first one to come starts it again.
void WebServer::Impl::ScheduleKeepAlive() {
    if (keepAliveDue) {
        return;
    }
    if (!keepAlive) {
        keepAlive.emplace(io);
    }
    keepAliveDue = true;
    keepAlive->expires_after(kKeepAliveInterval);
    keepAlive->async_wait([this](beast::error_code ec) {
        keepAliveDue = false;
        if (ec || eventClients.empty()) {
            return;
        }
        Broadcast(SseKeepAlive());
        ScheduleKeepAlive();
    });
}

void WebServer::Impl::Broadcast(const std::string& event) {
    // Sending may drop a client, which erases it from the set: walk a copy.
    const auto clients = eventClients;
    for (const auto& client : clients) {
        client->Send(event);
    }
}

WebServer::WebServer() : _snapshot(std::make_shared<Snapshot>()) {}

WebServer::~WebServer() {
    Stop();
}

StartResult WebServer::Start(const WebConfig& config, std::function<void()> onZero) {
    Stop();
    if (config.port == 0) {
        return StartResult::Failed;
    }
    try {
        auto impl = std::make_unique<Impl>(config, std::move(onZero), _snapshot);
        const StartResult result = impl->Listen();
        if (result != StartResult::Listening) {
            return result;
        }
        Impl* raw = impl.get();
        impl->thread = std::thread([raw] {
            for (;;) {
                try {
                    raw->io.run();
                    return;
                } catch (...) {
                    // A handler that threw loses its connection; the server goes on.
                }
            }
        });
        _impl = std::move(impl);
        return StartResult::Listening;
    } catch (...) {
        return StartResult::Failed;
    }
}

// Handlers are short, so the thread ends at once; what the io_context still holds (sessions,
// streams) is destroyed after the sockets it refers to are closed.
void WebServer::Stop() {
    if (!_impl) {
        return;
    }
    _impl->io.stop();
    if (_impl->thread.joinable()) {
        _impl->thread.join();
    }
    _impl->eventClients.clear();
    _impl->acceptors.clear();
    _impl.reset();
}

bool WebServer::Running() const {
    return _impl != nullptr;
}

void WebServer::Publish(const Reading& reading) {
    {
        std::lock_guard lock(_snapshot->mutex);
        if (_snapshot->published && SameReading(_snapshot->reading, reading)) {
            return;
        }
        _snapshot->reading = reading;
        _snapshot->published = true;
        if (!_impl || _snapshot->eventClients == 0) {
            return;  // nobody follows: GET /weight makes its JSON when asked
        }
    }
    // Framed here, so every change reaches every client in order, however far the server's
    // thread has fallen behind.
    asio::post(_impl->io, [impl = _impl.get(), event = SseEvent(ReadingJson(reading))] { impl->Broadcast(event); });
}

void WebServer::PublishSent(const Reading& reading) {
    if (_impl) {
        asio::post(_impl->io,
                   [impl = _impl.get(), event = SseEvent("sent", ReadingJson(reading))] { impl->Broadcast(event); });
    }
}

}  // namespace web

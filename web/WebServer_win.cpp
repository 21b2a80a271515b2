// Boost.Asio brings in winsock2.h; it must come before anything that includes windows.h.
// Boost 1.74's coroutine support uses std::exchange without including <utility> (C++20 only).
#include <utility>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "web/WebServer_win.h"

#include <chrono>
#include <deque>
#include <list>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "web/RequestPolicy.h"
#include "web/Sessions_win.h"
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
// After a zero the next one waits this long: a page that retries, or a script in a loop, writes
// a few zero reports to the scale and takes the window's thread a few times, never thousands.
constexpr auto kZeroInterval = 500ms;
// After an accept error (out of sockets or memory) the next accept waits this long, instead of
// failing again at once on a core of its own.
constexpr auto kAcceptRetry = 500ms;
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
    Impl(WebConfig config, std::string version, std::function<bool()> onZero, std::shared_ptr<Snapshot> snapshot)
        : config(std::move(config)),
          version(std::move(version)),
          onZero(std::move(onZero)),
          snapshot(std::move(snapshot)) {}

    class Session;
    class EventClient;

    WinsockSession winsock;  // first in, last out: the sockets below need it
    // Declared before the io_context so that they outlive the handlers it destroys.
    WebConfig config;
    std::string version;
    std::function<bool()> onZero;
    std::shared_ptr<Snapshot> snapshot;
    int connections = 0;
    int streamsWithoutOrigin = 0;
    std::list<Session*> idle;  // sessions waiting for a request, the longest waiting first
    std::set<std::shared_ptr<EventClient>> eventClients;
    std::shared_ptr<Session> zeroWaiting;  // the POST /zero whose zero the window is doing
    std::chrono::steady_clock::time_point zeroQuietUntil;
    uint32_t ownSession = OwnSession();
    // Whether another user's session exists, asked again at most once a second: a flood of
    // connections asks the session manager a few times, not once per connection.
    bool otherSessions = false;
    std::optional<std::chrono::steady_clock::time_point> sessionsAskedAt;

    asio::io_context io{1};
    std::vector<tcp::acceptor> acceptors;
    // Made for the first event client: Asio runs a thread of its own for timers from the first
    // timer on, which a server nobody follows does not need.
    std::optional<asio::steady_timer> keepAlive;
    bool keepAliveDue = false;
    std::thread thread;

    StartResult Listen();
    void Accept(tcp::acceptor& acceptor);
    void OnAccepted(tcp::socket socket);
    [[nodiscard]] bool FromAnotherSession(const tcp::socket& socket);
    void FinishZero(bool sent);
    [[nodiscard]] Connections Counts() const {
        return Connections{connections, static_cast<int>(idle.size()), streamsWithoutOrigin};
    }
    void ScheduleKeepAlive();
    void Broadcast(const std::string& event);
};

// One event-stream client: its own queue of events, one write at a time, a read that only
// notices the client going away, and a write time-out after which a client that stopped
// reading is dropped.
class WebServer::Impl::EventClient : public std::enable_shared_from_this<EventClient> {
  public:
    EventClient(Impl& server, beast::tcp_stream stream, bool withoutOrigin)
        : _server(server), _stream(std::move(stream)), _withoutOrigin(withoutOrigin) {
        _server.streamsWithoutOrigin += _withoutOrigin ? 1 : 0;
    }
    ~EventClient() {
        --_server.connections;
        _server.streamsWithoutOrigin -= _withoutOrigin ? 1 : 0;
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
    bool _withoutOrigin;    // in the share of streams without an allowed Origin
    char _scratch[256];
};

// Headers on every answer: a browser takes it for nothing but what it says it is, and shows it in
// no frame, so no page can dress the endpoint up as its own.
constexpr std::string_view kHardening =
    "X-Content-Type-Options: nosniff\r\nX-Frame-Options: DENY\r\nContent-Security-Policy: frame-ancestors 'none'\r\n";
constexpr std::string_view kJson = "application/json; charset=utf-8";
constexpr std::string_view kEventStream = "text/event-stream; charset=utf-8";

// One connection until it turns into an event stream or closes: requests are read with bounded
// header and body sizes and a time-out, answered, and the connection kept open when asked.
// A refused request's connection is closed: whoever was refused once gets nothing more on it.
class WebServer::Impl::Session : public std::enable_shared_from_this<Session> {
  public:
    Session(Impl& server, tcp::socket socket, bool otherSession)
        : _server(server), _stream(std::move(socket)), _otherSession(otherSession) {
        ++_server.connections;
    }
    ~Session() {
        StopIdling();
        if (!_handedOver) {
            --_server.connections;
        }
    }

    void Read() {
        _parser.emplace();
        _parser->header_limit(kMaxHeaderBytes);
        _parser->body_limit(kMaxBodyBytes);
        _stream.expires_after(kRequestTimeout);
        _idleAt = _server.idle.insert(_server.idle.end(), this);
        _idling = true;
        http::async_read(_stream, _buffer, *_parser,
                         [self = shared_from_this()](beast::error_code ec, size_t) { self->OnRead(ec); });
    }

    // Makes room for a new connection at the cap.
    void CloseIdle() {
        StopIdling();
        Close();
    }

    void AnswerZero(bool sent) {
        if (sent) {
            Respond(http::status::no_content, _zeroHeaders, "", _zeroKeepAlive);
        } else {
            Respond(http::status::conflict, _zeroHeaders, ErrorJson("no scale is open"), _zeroKeepAlive);
        }
    }

  private:
    void StopIdling() {
        if (_idling) {
            _server.idle.erase(_idleAt);
            _idling = false;
        }
    }

    void OnRead(beast::error_code ec) {
        StopIdling();
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
        if (const auto site = req["Sec-Fetch-Site"]; !site.empty()) {
            head.fetchSite = std::string_view(site.data(), site.size());
        }
        const Decision d = Decide(head, _server.config.origins);
        const bool keepAlive = req.keep_alive();
        _headOnly = d.headOnly;
        if (_otherSession) {
            // Its page would read and zero this user's scale. An allowed page gets its CORS
            // headers, so that it can tell its user why.
            Respond(http::status::forbidden, d.headers, ErrorJson(kOtherSessionError), false);
            return;
        }
        switch (d.route) {
            case Route::Info:
                Respond(http::status::ok, d.headers, InfoJson(_server.version, CurrentReading(*_server.snapshot).scale),
                        keepAlive);
                return;
            case Route::Weight:
                Respond(http::status::ok, d.headers, ReadingJson(CurrentReading(*_server.snapshot)), keepAlive);
                return;
            case Route::Events:
                if (d.headOnly) {
                    Respond(http::status::ok, d.headers, "", false, kEventStream);
                } else if (AdmitStream(_server.Counts(), head.origin.has_value()) == Admission::Refuse) {
                    Respond(http::status::service_unavailable, d.headers, "", false);
                } else {
                    StartEvents(d.headers, !head.origin.has_value());
                }
                return;
            case Route::Zero:
                Zero(d.headers, keepAlive);
                return;
            case Route::Preflight:
                Respond(http::status::no_content, d.headers, "", keepAlive);
                return;
            case Route::Refused:
                Respond(static_cast<http::status>(d.status), d.headers, "", false);
                return;
        }
    }

    // One zero at a time, and not again at once: the others are told to come back later.
    void Zero(std::vector<std::pair<std::string, std::string>> headers, bool keepAlive) {
        if (_server.zeroWaiting || std::chrono::steady_clock::now() < _server.zeroQuietUntil) {
            headers.emplace_back("Retry-After", "1");
            Respond(http::status::too_many_requests, headers, ErrorJson("a zero is in progress"), false);
            return;
        }
        if (!_server.onZero || !_server.onZero()) {
            Respond(http::status::service_unavailable, headers, ErrorJson("the window did not take the zero"), false);
            return;
        }
        _zeroHeaders = std::move(headers);
        _zeroKeepAlive = keepAlive;
        _server.zeroWaiting = shared_from_this();  // answered by FinishZero
    }

    void Respond(http::status status,
                 const std::vector<std::pair<std::string, std::string>>& headers,
                 std::string body,
                 bool keepAlive,
                 std::string_view contentType = kJson) {
        auto res = std::make_shared<http::response<http::string_body>>(status, 11);
        res->set(http::field::server, "Pesora");
        res->set(http::field::cache_control, "no-store");
        res->set("X-Content-Type-Options", "nosniff");
        res->set("X-Frame-Options", "DENY");
        res->set("Content-Security-Policy", "frame-ancestors 'none'");
        if (!body.empty() || contentType != kJson) {
            res->set(http::field::content_type, beast::string_view(contentType.data(), contentType.size()));
        }
        for (const auto& [name, value] : headers) {
            res->set(name, value);
        }
        res->keep_alive(keepAlive);
        if (_headOnly) {
            res->content_length(body.size());  // what GET would get, without it
        } else {
            res->body() = std::move(body);
            res->prepare_payload();
        }
        _headOnly = false;
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
    void StartEvents(const std::vector<std::pair<std::string, std::string>>& headers, bool withoutOrigin) {
        std::string head = "HTTP/1.1 200 OK\r\nServer: Pesora\r\nContent-Type: " + std::string(kEventStream) +
                           "\r\nCache-Control: no-store\r\nConnection: close\r\nX-Accel-Buffering: no\r\n" +
                           std::string(kHardening);
        for (const auto& [name, value] : headers) {
            head += name + ": " + value + "\r\n";
        }
        head += "\r\n";
        head += SseStreamStart();
        _handedOver = true;
        _stream.expires_never();
        auto client = std::make_shared<EventClient>(_server, std::move(_stream), withoutOrigin);
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
    bool _headOnly = false;  // the request being answered is a HEAD
    bool _idling = false;
    std::list<Session*>::iterator _idleAt;
    std::vector<std::pair<std::string, std::string>> _zeroHeaders;
    bool _zeroKeepAlive = false;
    bool _otherSession;  // the client runs in another user's log-on session
};

StartResult WebServer::Impl::Listen() {
    std::optional<StartResult> refused;  // the port is another program's, or Windows keeps it
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
            if (ec == asio::error::access_denied) {
                refused = StartResult::PortReserved;  // an excluded range (Hyper-V, WinNAT)
            } else if (ec == asio::error::address_in_use && !refused) {
                refused = StartResult::PortTaken;
            }
            continue;
        }
        (void)acceptor.listen(asio::socket_base::max_listen_connections, ec);
        if (ec) {
            continue;
        }
        acceptors.push_back(std::move(acceptor));
    }
    if (acceptors.empty() || refused) {
        // Half a server (IPv6 only because another program holds IPv4) would surprise: none.
        acceptors.clear();
        return refused.value_or(StartResult::Failed);
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
            OnAccepted(std::move(socket));
            Accept(acceptor);
            return;
        }
        auto retry = std::make_shared<asio::steady_timer>(io, kAcceptRetry);
        retry->async_wait([this, &acceptor, retry](beast::error_code waitError) {
            if (!waitError) {
                Accept(acceptor);
            }
        });
    });
}

void WebServer::Impl::OnAccepted(tcp::socket socket) {
    switch (AdmitConnection(Counts(), kMaxConnections)) {
        case Admission::CloseIdleFirst:
            idle.front()->CloseIdle();
            [[fallthrough]];
        case Admission::Accept: {
            const bool otherSession = FromAnotherSession(socket);
            std::make_shared<Session>(*this, std::move(socket), otherSession)->Read();
            return;
        }
        case Admission::Refuse: {
            beast::error_code ignored;
            socket.close(ignored);  // refused at once rather than left waiting
            return;
        }
    }
}

namespace {
SocketEnd EndOf(const tcp::endpoint& endpoint) {
    SocketEnd end;
    const auto address = endpoint.address();
    if (address.is_v6()) {
        const auto bytes = address.to_v6().to_bytes();
        std::copy(bytes.begin(), bytes.end(), end.address.begin());
    } else {
        const auto bytes = address.to_v4().to_bytes();
        std::copy(bytes.begin(), bytes.end(), end.address.begin());
    }
    end.port = endpoint.port();
    return end;
}
}  // namespace

// Asked while the connection is new, so that the client's socket is still in the system's table.
// Only where another user's session exists: with one user, no client is looked up.
bool WebServer::Impl::FromAnotherSession(const tcp::socket& socket) {
    const auto now = std::chrono::steady_clock::now();
    if (!sessionsAskedAt || now - *sessionsAskedAt >= 1s) {
        otherSessions = OtherSessionsExist(ownSession);
        sessionsAskedAt = now;
    }
    if (!otherSessions) {
        return false;
    }
    beast::error_code ec, ec2;
    const tcp::endpoint local = socket.local_endpoint(ec);
    const tcp::endpoint remote = socket.remote_endpoint(ec2);
    if (ec || ec2) {
        return false;  // gone already: its first read fails
    }
    return !ServesSession(ownSession, ClientSession(EndOf(local), EndOf(remote), local.address().is_v6()));
}

void WebServer::Impl::FinishZero(bool sent) {
    zeroQuietUntil = std::chrono::steady_clock::now() + kZeroInterval;
    if (const auto session = std::exchange(zeroWaiting, nullptr)) {
        session->AnswerZero(sent);
    }
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
        Broadcast(SseHeartbeat(NowMs()));
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

StartResult WebServer::Start(const WebConfig& config, std::string version, std::function<bool()> onZero) {
    Stop();
    if (config.port == 0) {
        return StartResult::Failed;
    }
    try {
        auto impl = std::make_unique<Impl>(config, std::move(version), std::move(onZero), _snapshot);
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
    _impl->zeroWaiting.reset();
    _impl->acceptors.clear();
    _impl.reset();
}

void WebServer::ZeroDone(bool sent) {
    if (_impl) {
        asio::post(_impl->io, [impl = _impl.get(), sent] { impl->FinishZero(sent); });
    }
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

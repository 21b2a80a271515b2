// The web endpoint of the real Pesora.exe as its clients meet it: raw HTTP over the loopback from
// this program (Wine's sockets are the host's), a real browser on the Linux side, and Pesora's
// own window, which must go on reading whatever the clients do. What each request is answered
// (the JSON, every case of the policy) is the unit tests'; these prove that the server applies it.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Fixture.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A port free on both loopback addresses, another at each call, picked at random so that two runs
// of this program at once (two builds) do not meet.
int FreePort() {
    WSADATA wsa;
    (void)::WSAStartup(MAKEWORD(2, 2), &wsa);  // the ports are picked before any test starts
    static int next = 20000 + static_cast<int>(std::random_device()() % 10000);
    for (;; next = next < 30000 ? next + 1 : 20000) {
        const auto bindable = [](int family, int port) {
            const SOCKET s = ::socket(family, SOCK_STREAM, IPPROTO_TCP);
            sockaddr_in6 address{};  // large enough for either; the loopback address of the family
            address.sin6_family = static_cast<ADDRESS_FAMILY>(family);
            address.sin6_port = ::htons(static_cast<u_short>(port));
            if (family == AF_INET6) {
                address.sin6_addr = in6addr_loopback;
            } else {
                reinterpret_cast<sockaddr_in&>(address).sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
            }
            const int size = family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
            const bool ok = ::bind(s, reinterpret_cast<const sockaddr*>(&address), size) == 0 ||
                            (family == AF_INET6 && ::WSAGetLastError() != WSAEADDRINUSE);  // no IPv6 here
            (void)::closesocket(s);
            return ok;
        };
        if (bindable(AF_INET, next) && bindable(AF_INET6, next)) {
            return next++;
        }
    }
}

const int kPort = FreePort();             // the endpoint of the copy under test
const int kPagePort = FreePort();         // where the allowed page is served from
const int kForeignPagePort = FreePort();  // a page of another origin
const int kTakenPort = FreePort();        // held by another program
const std::string kAllowed = "http://127.0.0.1:" + std::to_string(kPagePort);
const std::string kForeign = "http://127.0.0.1:" + std::to_string(kForeignPagePort);
const std::vector<std::vector<uint8_t>> kOneZero = {{2, 2, 0, 0, 0}};  // the zero report, once
constexpr size_t kNpos = std::string::npos;

// A request as a client sends it; `lines` are further header lines, each ending in CR LF.
std::string Head(std::string_view method, std::string_view path, const std::string& lines = {}) {
    const std::string host = lines.find("Host:") == kNpos ? "Host: 127.0.0.1:" + std::to_string(kPort) + "\r\n" : "";
    return std::string(method) + " " + std::string(path) + " HTTP/1.1\r\n" + host + lines + "Connection: close\r\n\r\n";
}

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    return address;
}

// A connection to the endpoint that sends `request`. Nothing is read until Gather(), which reads
// on a thread of its own, so a test can follow a stream while it changes the scale; a client
// that never gathers is one that stopped reading.
class Client {
  public:
    explicit Client(std::string_view request, int receiveBuffer = 0, int port = kPort) {
        if (receiveBuffer > 0) {
            (void)::setsockopt(_socket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer),
                               sizeof receiveBuffer);
        }
        const sockaddr_in to = Loopback(port);
        EXPECT_EQ(::connect(_socket, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
        EXPECT_EQ(::send(_socket, request.data(), static_cast<int>(request.size()), 0),
                  static_cast<int>(request.size()));
    }
    ~Client() {
        (void)::shutdown(_socket, SD_BOTH);
        if (_reader.joinable()) {
            _reader.join();
        }
        (void)::closesocket(_socket);
    }
    void Gather() {
        _reader = std::thread([this] {
            char buffer[4096];
            for (int n; (n = ::recv(_socket, buffer, sizeof buffer, 0)) > 0;) {
                const std::lock_guard lock(_mutex);
                _received.append(buffer, static_cast<size_t>(n));
            }
            _ended = true;
        });
    }
    [[nodiscard]] std::string Received() const {
        const std::lock_guard lock(_mutex);
        return _received;
    }
    [[nodiscard]] bool Ended() const { return _ended; }  // the server closed it (seen while gathering)
  private:
    SOCKET _socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    std::thread _reader;
    mutable std::mutex _mutex;
    std::string _received;
    std::atomic<bool> _ended{false};
};

// The whole answer to one request on a connection of its own.
std::string Request(const std::string& request, int port = kPort) {
    Client client(request, 0, port);
    client.Gather();
    EXPECT_TRUE(e2e::WaitUntil([&] { return client.Ended(); }, 10s)) << "no end to the answer to " << request;
    return client.Received();
}

int Status(const std::string& answer) {
    return answer.size() > 12 ? std::atoi(answer.c_str() + 9) : 0;
}

// The weight texts of the events of a stream, in order.
std::vector<std::string> EventTexts(const std::string& stream) {
    std::vector<std::string> texts;
    for (size_t at = 0; (at = stream.find("\"text\":\"", at)) != kNpos;) {
        at += 8;
        texts.push_back(stream.substr(at, stream.find('"', at) - at));
    }
    return texts;
}

std::string UnixTemp(std::string_view name) {
    return e2e::UnixPathOf(e2e::JoinPath(e2e::FreshFolder("web-" + std::string(name)), "out.txt"));
}

std::string ReadUnixFile(const std::string& unixPath) {
    return e2e::ReadFileBytes(e2e::WindowsPathOf(unixPath)).value_or("");
}

// Runs a shell command on the host: Wine starts Unix programs, but gives no handle to wait on.
void OnHost(const std::string& command) {
    std::string line = "/bin/sh -c \"" + command + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    EXPECT_TRUE(::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, "C:\\", &si, &pi));
    (void)::CloseHandle(pi.hProcess);
    (void)::CloseHandle(pi.hThread);
}

// The addresses the Wine session that serves kPort listens on, sorted, one a line (Wine keeps
// every socket of a session in its wineserver).
std::string SessionListeners() {
    const std::string out = UnixTemp("ss");
    const std::string session = "$(ss -ltnpH sport = :" + std::to_string(kPort) + " | grep -o pid=[0-9]* | head -1),";
    OnHost("ss -ltnpH | grep " + session + " | awk '{print $4}' | sort > " + out + ".part && mv " + out + ".part " +
           out);
    EXPECT_TRUE(e2e::WaitUntil([&] { return !ReadUnixFile(out).empty(); }, 10s));
    return ReadUnixFile(out);
}

// One copy of Pesora with the endpoint on, shared by the tests.
class WebEndpoint : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        WSADATA wsa;
        (void)::WSAStartup(MAKEWORD(2, 2), &wsa);
        s_scale = std::make_unique<e2e::Scale>(e2e::Scale::Options("1301", "Web Scale", 0x1301));
        (void)s_scale->SetGrams(100);
        e2e::WaitOutRawInputCache();
        s_pesora = std::make_unique<e2e::Pesora>(Options());
    }
    static e2e::PesoraOptions Options() {
        return {.name = "Web",
                .settings = e2e::SettingsText({{"SelectedScale", s_scale->Path()},
                                               {"WebPort", std::to_string(kPort)},
                                               {"WebOrigins", "HTTPS://Ship.Example:443/,null " + kAllowed}})};
    }
    static inline const std::string kListening =
        "Web endpoint: http://localhost:" + std::to_string(kPort) + "; WebOrigins refused: null";
    static void TearDownTestSuite() {
        s_pesora.reset();
        s_scale.reset();
    }
    void SetUp() override {
        ASSERT_TRUE(s_scale->Plugged());
        ASSERT_TRUE(s_pesora->Started());
    }
    // Sets the scale's report and waits until Pesora shows it.
    static void Weigh(int grams, uint8_t status = 4) {
        ASSERT_TRUE(s_scale->SetGrams(grams, status));
        ASSERT_TRUE(s_pesora->WaitWeight(std::to_string(grams) + " g")) << "stopped reading: " << s_pesora->Weight();
    }

    static inline std::unique_ptr<e2e::Scale> s_scale;
    static inline std::unique_ptr<e2e::Pesora> s_pesora;
};

// GET /weight answers what the window shows, and the status line names the endpoint while the
// scale has nothing to say.
TEST_F(WebEndpoint, WeightAnswersWhatTheWindowShows) {
    Weigh(125);
    ASSERT_TRUE(e2e::WaitUntil([] { return s_pesora->Selection() >= 0; }, 10s));
    const std::string scale = s_pesora->Rows()[static_cast<size_t>(s_pesora->Selection())];
    const std::string r = Request(Head("GET", "/weight"));
    EXPECT_EQ(Status(r), 200) << r;
    const size_t body = r.find("\r\n\r\n") + 4;
    EXPECT_EQ(
        r.substr(body, r.find("\"time\":\"20") - body),
        R"({"weight":125,"unit":"g","text":"125 g","status":"","statusCode":4,"stable":true,"scale":")" + scale + "\",")
        << r;
    EXPECT_NE(r.find("Content-Type: application/json; charset=utf-8"), kNpos) << r;
    EXPECT_NE(r.find("X-Content-Type-Options: nosniff\r\n"), kNpos) << r;
    EXPECT_TRUE(s_pesora->WaitStatus(kListening)) << s_pesora->Status();
    Weigh(250, 3);
    EXPECT_TRUE(s_pesora->WaitStatus("Scale In Motion")) << s_pesora->Status();
}

// The server hands the policy what it needs (Host, Origin as the settings spell it or refused
// there, a repeated one, Sec-Fetch-Site, the private-network question), adds the headers it
// decides, answers HEAD without a body, keeps to the size limits, and only an answered POST /zero
// reaches the scale. A refused request's connection is closed even when it asked to keep it.
TEST_F(WebEndpoint, RequestsGetWhatThePolicyDecides) {
    Weigh(125);
    ASSERT_TRUE(s_scale->ClearOutputs());
    struct Row {
        int line;
        std::string request;
        int status;
        std::string header;  // a header line the answer must carry; empty: no CORS header at all
        bool hasBody;
    };
    const std::string preflight = "Access-Control-Request-Method: POST\r\n";
    const Row rows[] = {
        {__LINE__, Head("GET", "/weight", "Host: attacker.example:" + std::to_string(kPort) + "\r\n"), 403, "", false},
        {__LINE__, Head("GET", "/weight", "Origin: " + kForeign + "\r\n"), 403, "", false},
        {__LINE__, Head("GET", "/weight", "Origin: https://ship.example\r\n"), 200,
         "Access-Control-Allow-Origin: https://ship.example", true},
        {__LINE__, Head("GET", "/weight", "Origin: " + kAllowed + "\r\nOrigin: " + kForeign + "\r\n"), 400, "", false},
        {__LINE__, Head("GET", "/weight", "Origin: null\r\n"), 403, "", false},
        {__LINE__, Head("GET", "/events", "Sec-Fetch-Site: cross-site\r\n"), 403, "", false},
        {__LINE__, Head("HEAD", "/weight"), 200, "Content-Type: application/json", false},
        {__LINE__, Head("GET", "/"), 200, R"({"name":"Pesora","version":"1.)", false},
        {__LINE__,
         Head("OPTIONS", "/zero",
              "Origin: " + kAllowed + "\r\n" + preflight + "Access-Control-Request-Private-Network: true\r\n"),
         204, "Access-Control-Allow-Private-Network: true", false},
        {__LINE__, Head("OPTIONS", "/zero", "Origin: " + kForeign + "\r\n" + preflight), 403, "", false},
        {__LINE__, Head("POST", "/zero", "Origin: " + kForeign + "\r\n"), 403, "", false},
        {__LINE__, Head("POST", "/zero", "Content-Length: 2000\r\n") + std::string(2000, '0'), 413, "", false},
        {__LINE__, Head("GET", "/weight", "X-Filler: " + std::string(8300, 'a') + "\r\n"), 431, "", false},
        {__LINE__, Head("POST", "/zero"), 204, "", false},  // a local tool: no Origin
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        const std::string r = Request(row.request);
        EXPECT_EQ(Status(r), row.status) << r;
        EXPECT_EQ(r.find(row.header.empty() ? "Access-Control-" : row.header) != kNpos, !row.header.empty()) << r;
        EXPECT_EQ(r.find("\"text\":\"125 g\"") != kNpos, row.hasBody) << r;
    }
    // The zero requests reach the window in order: the last one's report is the only one.
    EXPECT_TRUE(e2e::WaitUntil([] { return s_scale->Outputs() == kOneZero; }, 5s)) << s_scale->Outputs().size();
    EXPECT_TRUE(s_pesora->WaitWeight("125 g")) << "reading did not resume after the zero";
    Client refused("GET /weight HTTP/1.1\r\nHost: localhost\r\nOrigin: " + kForeign + "\r\n\r\n");
    refused.Gather();
    EXPECT_TRUE(e2e::WaitUntil([&] { return refused.Ended(); }, 3s)) << refused.Received();
}

// A flood of POST /zero: one zero at a time, each answered 204 once its report went to the scale
// and the rest 429, so the scale gets a handful of reports and the window goes on reading.
TEST_F(WebEndpoint, AZeroFloodWritesOneReportPerAcceptedRequest) {
    Weigh(140);
    ASSERT_TRUE(s_scale->ClearOutputs());
    // The scale keeps the last 64 reports written to it, and a slow machine lets one zero through
    // every 500 ms or so over the whole flood: the clients stop once 48 were accepted, which the
    // 8 requests in flight cannot carry past 64.
    constexpr int kMostAccepted = 48;
    std::atomic<int> accepted = 0, busy = 0, sent = 0;
    const auto start = Clock::now();
    std::vector<std::thread> flood;
    for (int t = 0; t < 8; ++t) {
        flood.emplace_back([&] {
            for (int i = 0; i < 250 && accepted < kMostAccepted; ++i) {
                const int status = Status(Request(Head("POST", "/zero")));
                ++sent;
                accepted += status == 204 ? 1 : 0;
                busy += status == 429 ? 1 : 0;
            }
        });
    }
    for (auto& thread : flood) {
        thread.join();
    }
    const auto floodEnd = Clock::now();
    EXPECT_EQ(accepted + busy, sent);
    ASSERT_TRUE(s_scale->SetGrams(141));
    EXPECT_TRUE(s_pesora->WaitWeight("141 g", 3s)) << s_pesora->Weight();
    std::printf("zero flood: %d requests from 8 clients in %lld ms, %d accepted; new weight shown %lld ms after\n",
                sent.load(), static_cast<long long>((floodEnd - start) / 1ms), accepted.load(),
                static_cast<long long>((Clock::now() - floodEnd) / 1ms));
    EXPECT_TRUE(e2e::WaitUntil([&] { return s_scale->Outputs().size() == static_cast<size_t>(accepted); }, 5s))
        << s_scale->Outputs().size() << " reports for " << accepted;
}

// While a real browser starts (it takes seconds here): the endpoint listens on the loopback
// addresses only; a copy whose port another program holds says so, opens no port of its own (none
// but its own, as with the port off), reads all the same, takes the port once it is free, and with
// no scale chosen answers a zero 409 without writing to a scale. Then the browser: a page
// from an allowed origin follows the weight through EventSource and zeroes the scale; the same page from another
// origin, framed in it, gets nothing and cannot zero it.
TEST_F(WebEndpoint, PortInUseAndARealBrowser) {
    Weigh(300);
    ASSERT_TRUE(s_scale->ClearOutputs());
    const std::string out = UnixTemp("browser");
    OnHost("/usr/bin/python3 '" + e2e::UnixPathOf(e2e::TestProgram("browser.py")) + "' " + std::to_string(kPort) + " " +
           std::to_string(kPagePort) + " " + std::to_string(kForeignPagePort) + " '" + out + "'");
    const auto saw = [&](const std::string& line) { return ReadUnixFile(out).find(line + "\n") != kNpos; };
    {
        SCOPED_TRACE("a port in use");  // another program holds its IPv4 address (the IPv6 one is free)
        const SOCKET holder = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        const sockaddr_in held = Loopback(kTakenPort);
        ASSERT_EQ(::bind(holder, reinterpret_cast<const sockaddr*>(&held), sizeof held), 0);
        ASSERT_EQ(::listen(holder, 1), 0);
        const std::string port = std::to_string(kPort);
        const std::string before = SessionListeners();
        EXPECT_NE(before.find("127.0.0.1:" + port + "\n"), kNpos) << before;
        EXPECT_NE(before.find("[::1]:" + port + "\n"), kNpos) << before;
        EXPECT_EQ(before.find("0.0.0.0:"), kNpos) << before;
        EXPECT_EQ(before.find("*:"), kNpos) << before;
        e2e::Pesora taken({.name = "WebTaken",
                           .settings = e2e::SettingsText(
                               {{"SelectedScale", s_scale->Path()}, {"WebPort", std::to_string(kTakenPort)}})});
        ASSERT_TRUE(taken.Started());
        // The notice comes after both addresses were tried.
        EXPECT_TRUE(taken.WaitStatus("Web port " + std::to_string(kTakenPort) + " is in use by another program", 10s))
            << taken.Status();
        EXPECT_EQ(SessionListeners(), before);
        EXPECT_TRUE(taken.WaitWeight("300 g")) << taken.Weight();
        (void)::closesocket(holder);
        // The port is tried again until it comes free.
        EXPECT_TRUE(taken.WaitStatus("Web endpoint: http://localhost:" + std::to_string(kTakenPort), 10s))
            << taken.Status();
        // With no scale chosen a zero reaches no scale, and the client is told so.
        taken.ClickRow(-1);
        const std::string zero = Request(Head("POST", "/zero"), kTakenPort);
        EXPECT_EQ(Status(zero), 409) << zero;
        EXPECT_NE(zero.find(R"({"error":"no scale is open"})"), kNpos) << zero;
    }
    SCOPED_TRACE("a real browser");
    ASSERT_TRUE(e2e::WaitUntil([&] { return saw("allowed shown 300 g"); }, 45s)) << ReadUnixFile(out);
    for (int step : {325, 350}) {
        Weigh(step);
        EXPECT_TRUE(e2e::WaitUntil([&] { return saw("allowed shown " + std::to_string(step) + " g"); }, 5s))
            << ReadUnixFile(out);
    }
    EXPECT_TRUE(e2e::WaitUntil(
        [&] { return saw("allowed zero 204") && saw("foreign error") && saw("foreign zero failed"); }, 20s))
        << ReadUnixFile(out);
    (void)e2e::WriteFileBytes(e2e::WindowsPathOf(out + ".stop"), "stop");
    EXPECT_TRUE(e2e::WaitUntil([&] { return saw("end"); }, 30s));
    EXPECT_EQ(ReadUnixFile(out).find("foreign shown"), kNpos) << ReadUnixFile(out);
    EXPECT_EQ(s_scale->Outputs(), kOneZero);
}

// Idle connections beyond the limit and streams without an Origin cannot keep an allowed page
// out: idle ones make room, streams nobody allowed get a small share. The allowed stream carries
// every change in order. Then, while the weight changes 20 times a second: the window thread
// keeps reading (and so typing), the endpoint closes idle connections after its time-out, drops
// the stalled stream, keeps the followed one alive with a heartbeat and answers afterwards.
TEST_F(WebEndpoint, FloodsAndStalledClientsDoNotStopReading) {
    Weigh(200);
    Client stalled(Head("GET", "/events"), 4096);
    // Connections that ask nothing, and streams without an Origin, before the allowed page comes.
    constexpr size_t kIdle = 40;
    std::vector<std::unique_ptr<Client>> idle, streams;
    for (size_t i = 0; i < kIdle + 6; ++i) {
        (i < kIdle ? idle : streams).push_back(std::make_unique<Client>(i < kIdle ? "" : Head("GET", "/events")));
        (i < kIdle ? idle : streams).back()->Gather();
    }
    const auto ended = [](const std::vector<std::unique_ptr<Client>>& clients) {
        return static_cast<size_t>(
            std::count_if(clients.begin(), clients.end(), [](const auto& c) { return c->Ended(); }));
    };
    // Four streams without an allowed Origin at most: the stalled one and three of these.
    EXPECT_TRUE(e2e::WaitUntil([&] { return ended(streams) == 3; }, 3s)) << ended(streams);
    Client follower(Head("GET", "/events", "Origin: " + kAllowed + "\r\n"));
    follower.Gather();
    ASSERT_TRUE(e2e::WaitUntil([&] { return EventTexts(follower.Received()).size() == 1; }, 10s));
    std::vector<std::string> expected = {"200 g"};
    for (int step : {201, 202, 210, 220}) {
        Weigh(step);
        expected.push_back(std::to_string(step) + " g");
    }
    EXPECT_TRUE(e2e::WaitUntil([&] { return EventTexts(follower.Received()) == expected; }, 5s)) << follower.Received();
    EXPECT_NE(follower.Received().find("Content-Type: text/event-stream"), kNpos);
    EXPECT_NE(follower.Received().find("Access-Control-Allow-Origin: " + kAllowed + "\r\n"), kNpos);
    std::printf(
        "starving: %zu of %zu idle connections closed to make room, %zu of %zu streams without Origin refused\n",
        ended(idle), kIdle, ended(streams), streams.size());
    const auto closed = [&] { return ended(idle); };

    const auto start = Clock::now();
    // Long enough for the idle connections' time-out and a keep-alive comment, with enough events
    // to overflow the stalled client's buffers and queue however slowly this machine runs.
    for (int w = 221; Clock::now() - start < 11s || w < 460 ||
                      follower.Received().find("event: heartbeat\ndata: {\"time\":\"20") == kNpos;
         ++w) {
        ASSERT_LT(Clock::now() - start, 60s);
        ASSERT_NO_FATAL_FAILURE(Weigh(w));
    }
    EXPECT_EQ(closed(), kIdle);
    stalled.Gather();
    EXPECT_TRUE(e2e::WaitUntil([&] { return stalled.Ended(); }, 10s)) << "the stalled stream was not dropped";
    EXPECT_FALSE(follower.Ended()) << "the following stream was dropped";
    EXPECT_EQ(Status(Request(Head("GET", "/weight"))), 200);
}

// Last, as it restarts the shared copy: connections at the limit and a stalled stream neither
// delay the exit nor keep the port from the next start.
TEST_F(WebEndpoint, ExitWithClientsIsPromptAndTheNextStartTakesThePort) {
    Client stalled(Head("GET", "/events"), 4096);
    std::vector<std::unique_ptr<Client>> held;
    for (int i = 0; i < 31; ++i) {
        held.push_back(std::make_unique<Client>("GET /weight HTTP/1.1\r\nHost: localhost\r\n\r\n"));
    }
    Weigh(150);
    const auto start = Clock::now();
    s_pesora.reset();
    std::printf("exit with 32 connections: %lld ms\n", static_cast<long long>((Clock::now() - start) / 1ms));
    s_pesora = std::make_unique<e2e::Pesora>(Options());
    ASSERT_TRUE(s_pesora->Started());
    EXPECT_TRUE(s_pesora->WaitStatus(kListening, 2s)) << s_pesora->Status();
}

// Each hands-free send is also an "event: sent" carrying the reading typed, so a page tells it from
// a weight that only passed (an event without a name). A copy of its own, after the suite's.
TEST(WebHandsFree, EachHandsFreeSendIsASentEvent) {
    WSADATA wsa;
    (void)::WSAStartup(MAKEWORD(2, 2), &wsa);
    e2e::Scale scale(e2e::Scale::Options("1302", "Web Sent Scale", 0x1302));
    ASSERT_TRUE(scale.SetGrams(0, 2));
    e2e::WaitOutRawInputCache();
    e2e::Pesora pesora({.name = "WebSent",
                        .settings = e2e::SettingsText({{"SelectedScale", scale.Path()},
                                                       {"WebPort", std::to_string(kPort)},
                                                       {"AutoSend", "True"},
                                                       {"SettleMs", "200"},
                                                       {"InterCharacterDelay", "0"}})});
    ASSERT_TRUE(pesora.Started());
    ASSERT_TRUE(pesora.WaitWeight("0 g", 10s));
    e2e::Target target("Web Sent Target");
    ASSERT_TRUE(target.Focus());
    Client events(Head("GET", "/events"));
    events.Gather();
    ASSERT_TRUE(e2e::WaitUntil([&] { return events.Received().find("data: ") != kNpos; }, 5s));
    ASSERT_TRUE(scale.SetGrams(700, 3));
    ::Sleep(100);
    ASSERT_TRUE(scale.SetGrams(750, 4));
    EXPECT_TRUE(e2e::WaitUntil([&] { return target.Text() == "750 g"; }, 5s)) << target.Text();
    const std::string sent = "event: sent\ndata: {\"weight\":750,\"unit\":\"g\",\"text\":\"750 g\"";
    EXPECT_TRUE(e2e::WaitUntil([&] { return events.Received().find(sent) != kNpos; }, 5s)) << events.Received();
    ::Sleep(500);
    const std::string stream = events.Received();
    EXPECT_EQ(stream.find(sent), stream.rfind("event: sent")) << "sent more than once: " << stream;
    EXPECT_NE(stream.find("\n\ndata: {\"weight\":700,"), kNpos) << "the passing weight is no plain event";
    EXPECT_TRUE(pesora.Exit());
}

}  // namespace

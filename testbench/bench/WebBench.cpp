// Web endpoint benchmark (prints figures; not a test). Runs the real Pesora.exe against a virtual
// scale with its web endpoint on, and measures
//   - the delay from the scale changing its report to the event reaching a client of /events,
//     beside the delay to the Weight box, median and worst over a number of changes;
//   - Pesora's CPU time per minute while the weight changes ten times a second, with no client
//     and with ten clients following /events;
//   - Pesora's CPU time during a flood of POST /zero from eight clients, beside its CPU time while
//     it only reads the scale just before.
//   WebBench.exe [changes=200] [cpuSeconds=15] [zeroRequests=2000]
#include <winsock2.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "Bench.h"

namespace {

constexpr int kPort = 18441;

// A client of /events on its own thread: notes when each weight text first arrives.
class Follower {
  public:
    Follower() {
        _socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(kPort);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(_socket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            return;
        }
        const std::string req = "GET /events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(kPort) + "\r\n\r\n";
        (void)::send(_socket, req.data(), static_cast<int>(req.size()), 0);
        _thread = std::thread([this] { Run(); });
    }
    ~Follower() {
        ::closesocket(_socket);
        if (_thread.joinable()) {
            _thread.join();
        }
    }
    // When `text` arrived, or a negative number when it has not.
    double Arrival(const std::string& text) {
        std::lock_guard lock(_mutex);
        const auto it = _arrivals.find(text);
        return it == _arrivals.end() ? -1.0 : it->second;
    }
    long Events() const { return _events; }

  private:
    void Run() {
        std::string buf;
        char chunk[4096];
        for (;;) {
            const int n = ::recv(_socket, chunk, sizeof chunk, 0);
            if (n <= 0) {
                return;
            }
            const double now = bench::NowMs();
            buf.append(chunk, static_cast<size_t>(n));
            for (size_t end; (end = buf.find("\n\n")) != std::string::npos; buf.erase(0, end + 2)) {
                const size_t at = buf.find("\"text\":\"");
                if (buf.rfind("data: ", 0) == 0 && at < end) {
                    ++_events;
                    std::lock_guard lock(_mutex);
                    _arrivals.emplace(buf.substr(at + 8, buf.find('"', at + 8) - at - 8), now);
                }
            }
        }
    }
    SOCKET _socket = INVALID_SOCKET;
    std::thread _thread;
    std::mutex _mutex;
    std::map<std::string, double> _arrivals;
    std::atomic<long> _events{0};
};

// One POST /zero on a connection of its own; the answer's status, 0 when there was none.
int PostZero() {
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(kPort);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        const std::string req = "POST /zero HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        (void)::send(s, req.data(), static_cast<int>(req.size()), 0);
        char chunk[1024];
        for (int n; (n = ::recv(s, chunk, sizeof chunk, 0)) > 0;) {
            answer.append(chunk, static_cast<size_t>(n));
        }
    }
    ::closesocket(s);
    return answer.size() > 12 ? std::atoi(answer.c_str() + 9) : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int changes = argc > 1 ? std::atoi(argv[1]) : 200;
    const int cpuSeconds = argc > 2 ? std::atoi(argv[2]) : 15;
    const int zeroRequests = argc > 3 ? std::atoi(argv[3]) : 2000;
    WSADATA wsa;
    (void)::WSAStartup(MAKEWORD(2, 2), &wsa);
    bench::Reader reader("WebBench", "1309", 50, {{"SampleRate", "50"}, {"WebPort", std::to_string(kPort)}});
    if (!reader.ready) {
        std::fprintf(stderr, "WebBench: Pesora does not read the scale\n");
        return 1;
    }

    std::vector<double> boxDelays, eventDelays;
    int missed = 0;
    {
        Follower follower;
        ::Sleep(500);
        std::string step;
        double box = -1.0;
        missed = reader.Step(changes, [&](const std::string& expected, double t0) {
            if (expected != step) {
                step = expected;
                box = -1.0;
            }
            if (box < 0 && reader.pesora->Weight() == expected) {
                box = bench::NowMs() - t0;
            }
            const double event = follower.Arrival(expected);
            if (box >= 0 && event >= 0) {
                boxDelays.push_back(box);
                eventDelays.push_back(event - t0);
            }
            return box >= 0 && event >= 0;
        });
    }
    std::printf("%d changes (%d not seen at both ends), scale interval 50 ms, SampleRate 50 ms\n", changes, missed);
    for (const auto& [to, delays] : {std::pair{"Weight box", &boxDelays}, {"/events client", &eventDelays}}) {
        std::printf("report change to %s (ms): median %.1f  worst %.1f\n", to, bench::Percentile(*delays, 0.5),
                    bench::Percentile(*delays, 1.0));
    }

    // The weight changes ten times a second while the CPU time is measured.
    int grams = 1000;
    const auto change = [&] { (void)reader.scale.SetGrams(++grams); };
    const double idleCpu = reader.CpuPerMinute(cpuSeconds, change);
    double followedCpu = -1.0;
    long events = 0;
    {
        std::vector<std::unique_ptr<Follower>> followers;
        for (int i = 0; i < 10; ++i) {
            followers.push_back(std::make_unique<Follower>());
        }
        ::Sleep(500);
        followedCpu = reader.CpuPerMinute(cpuSeconds, change);
        for (const auto& f : followers) {
            events += f->Events();
        }
    }
    std::printf(
        "Pesora CPU, 10 changes/s (ms per minute): no client %.0f, 10 clients following %.0f (%ld events "
        "delivered)\n",
        idleCpu, followedCpu, events);

    // Reading alone (the scale reports every 50 ms), then the flood, each client waiting for its
    // answer before the next request.
    const double readingCpu = reader.CpuPerMinute(cpuSeconds);
    std::atomic<int> accepted = 0, busy = 0;
    const double cpuBefore = bench::CpuMs(reader.pesora->process().Handle(), reader.exeName);
    const double floodStart = bench::NowMs();
    {
        std::vector<std::thread> clients;
        for (int t = 0; t < 8; ++t) {
            clients.emplace_back([&, t] {
                for (int i = t; i < zeroRequests; i += 8) {
                    const int status = PostZero();
                    accepted += status == 204 ? 1 : 0;
                    busy += status == 429 ? 1 : 0;
                }
            });
        }
        for (auto& client : clients) {
            client.join();
        }
    }
    const double floodMs = bench::NowMs() - floodStart;
    const double floodCpu = bench::CpuMs(reader.pesora->process().Handle(), reader.exeName) - cpuBefore;
    std::printf(
        "zero flood: %d POST /zero from 8 clients in %.0f ms (%d answered 204, %d answered 429); Pesora CPU %.0f ms "
        "during it (%.0f ms per minute, %.0f%% of one core); reading alone before it: %.0f ms per minute\n",
        zeroRequests, floodMs, accepted.load(), busy.load(), floodCpu, floodCpu * 60000.0 / floodMs,
        floodCpu * 100.0 / floodMs, readingCpu);
    ::WSACleanup();
    return 0;
}

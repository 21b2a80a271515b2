// Web endpoint benchmark (prints figures; not a test). Runs the real Pesora.exe against a virtual
// scale with its web endpoint on, and measures
//   - the delay from the scale changing its report to the event reaching a client of /events,
//     beside the delay to the Weight box, median and worst over a number of changes;
//   - Pesora's CPU time per minute while the weight changes ten times a second, with no client
//     and with ten clients following /events.
//   WebBench.exe [changes=200] [cpuSeconds=15]
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Harness.h"
#include "HostProc.h"
#include "PesoraIds.h"
#include "VirtualScale.h"

namespace {

using hostproc::UnixCpuMs;

using namespace std::chrono_literals;

const std::string kSerial = "1309";
const std::string kExeName = "WebBench";
constexpr int kPort = 18441;

double NowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return 0.0;
    }
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5));
    return v[i];
}

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
            const double now = NowMs();
            buf.append(chunk, static_cast<size_t>(n));
            size_t end;
            while ((end = buf.find("\n\n")) != std::string::npos) {
                const std::string block = buf.substr(0, end);
                buf.erase(0, end + 2);
                const size_t at = block.find("\"text\":\"");
                if (block.rfind("data: ", 0) == 0 && at != std::string::npos) {
                    const size_t start = at + 8;
                    const std::string text = block.substr(start, block.find('"', start) - start);
                    ++_events;
                    std::lock_guard lock(_mutex);
                    _arrivals.emplace(text, now);
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

double CpuPerMinuteWhileChanging(const std::string& program, int seconds) {
    const double before = UnixCpuMs(program);
    const double start = NowMs();
    int16_t w = 1000;
    while (NowMs() - start < seconds * 1000.0) {
        (void)e2e::SetWeight(kSerial, 4, 2, 0, ++w);
        ::Sleep(100);
    }
    const double after = UnixCpuMs(program);
    if (before < 0 || after < 0) {
        return -1.0;
    }
    return (after - before) * 60000.0 / (NowMs() - start);
}

int Fail(const char* what) {
    std::fprintf(stderr, "WebBench: %s\n", what);
    (void)e2e::Unplug(kSerial);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const int changes = argc > 1 ? std::atoi(argv[1]) : 200;
    const int cpuSeconds = argc > 2 ? std::atoi(argv[2]) : 15;
    WSADATA wsa;
    (void)::WSAStartup(MAKEWORD(2, 2), &wsa);

    e2e::ScaleOptions scale;
    scale.serial = kSerial;
    scale.productId = 0x1309;
    scale.friendlyName = "Web Bench Scale";
    scale.intervalMs = 50;
    std::string error;
    if (!e2e::Plug(scale, &error)) {
        std::fprintf(stderr, "WebBench: cannot plug the scale: %s\n", error.c_str());
        return 1;
    }
    (void)e2e::SetWeight(kSerial, 4, 2, 0, 1);
    std::this_thread::sleep_for(2500ms);

    const std::string exe = e2e::InstallPesora(e2e::FreshFolder("webbench"), kExeName + ".exe");
    const std::string ini = e2e::SettingsFileFor(kExeName);
    e2e::DeleteFileAt(ini);
    e2e::MakeFolders(e2e::FolderOf(ini));
    e2e::WriteIni(ini, "Settings", "SelectedScale", e2e::HidPath(scale));
    e2e::WriteIni(ini, "Settings", "IncludeUnits", "False");
    e2e::WriteIni(ini, "Settings", "SampleRate", "50");
    e2e::WriteIni(ini, "Settings", "WebPort", std::to_string(kPort));

    e2e::Process pesora = e2e::Start(exe);
    HWND main = pesora.Started() ? e2e::WaitForMainWindow(pesora) : nullptr;
    if (main == nullptr) {
        return Fail("Pesora did not show its main window");
    }
    HWND weight = e2e::Control(main, IDC_WEIGHT);
    if (!e2e::WaitUntil([&] { return e2e::Text(weight) == "1"; }, 10s)) {
        return Fail("Pesora does not read the scale");
    }

    std::vector<double> boxDelays;
    std::vector<double> eventDelays;
    int missed = 0;
    {
        Follower follower;
        std::this_thread::sleep_for(500ms);
        for (int i = 0; i < changes; ++i) {
            const int16_t grams = static_cast<int16_t>(100 + i);
            const std::string expected = std::to_string(grams);
            const double t0 = NowMs();
            if (!e2e::SetWeight(kSerial, 4, 2, 0, grams)) {
                return Fail("the scale refused a weight");
            }
            double box = -1.0;
            double event = -1.0;
            while (NowMs() - t0 < 5000.0 && (box < 0 || event < 0)) {
                if (box < 0 && e2e::Text(weight) == expected) {
                    box = NowMs() - t0;
                }
                if (event < 0) {
                    const double at = follower.Arrival(expected);
                    event = at < 0 ? -1.0 : at - t0;
                }
                ::Sleep(1);
            }
            if (box < 0 || event < 0) {
                ++missed;
                continue;
            }
            boxDelays.push_back(box);
            eventDelays.push_back(event);
        }
    }
    std::printf("%d changes (%d not seen at both ends), scale interval 50 ms, SampleRate 50 ms\n", changes, missed);
    std::printf("report change to Weight box (ms): median %.1f  worst %.1f\n", Percentile(boxDelays, 0.5),
                Percentile(boxDelays, 1.0));
    std::printf("report change to /events client (ms): median %.1f  worst %.1f\n", Percentile(eventDelays, 0.5),
                Percentile(eventDelays, 1.0));

    const std::string program = "\\" + kExeName + ".exe";
    const double idleCpu = CpuPerMinuteWhileChanging(program, cpuSeconds);
    double followedCpu = -1.0;
    long events = 0;
    {
        std::vector<std::unique_ptr<Follower>> followers;
        for (int i = 0; i < 10; ++i) {
            followers.push_back(std::make_unique<Follower>());
        }
        std::this_thread::sleep_for(500ms);
        followedCpu = CpuPerMinuteWhileChanging(program, cpuSeconds);
        for (const auto& f : followers) {
            events += f->Events();
        }
    }
    std::printf(
        "Pesora CPU, 10 changes/s (ms per minute): no client %.0f, 10 clients following %.0f (%ld events "
        "delivered)\n",
        idleCpu, followedCpu, events);

    e2e::ClickMenu(main, IDM_EXIT);
    (void)pesora.WaitOrKill();
    (void)e2e::Unplug(kSerial);
    e2e::DeleteFileAt(ini);
    ::WSACleanup();
    return 0;
}

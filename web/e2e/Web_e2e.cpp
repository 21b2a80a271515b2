// The web endpoint of the real Pesora.exe, seen from the Linux side as a browser, a local tool
// or another site's page would see it: curl and a small Python client started from here (Wine
// runs Unix programs), a virtual scale that changes, and Pesora's own window that must go on
// reading and typing whatever the clients do.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Harness.h"
#include "InProcessTarget.h"
#include "PesoraIds.h"
#include "VirtualScale.h"

namespace {

using namespace std::chrono_literals;

const std::string kSerial = "1301";
constexpr int kPort = 18431;             // the endpoint of the copy under test
constexpr int kPagePort = 18432;         // where the allowed page is served from
constexpr int kForeignPagePort = 18433;  // a page of another origin
constexpr int kTakenPort = 18434;        // held by another program
const std::string kAllowedOrigin = "http://127.0.0.1:" + std::to_string(kPagePort);
const std::string kForeignOrigin = "http://127.0.0.1:" + std::to_string(kForeignPagePort);
constexpr auto kRawInputCacheWait = 2500ms;

e2e::ScaleOptions Scale() {
    e2e::ScaleOptions options;
    options.serial = kSerial;
    options.productId = 0x1301;
    options.friendlyName = "Web Scale";
    options.intervalMs = 50;
    return options;
}

// ---- Unix programs --------------------------------------------------------------------------

std::string UnixTemp(std::string_view name) {
    return e2e::UnixPathOf(e2e::JoinPath(e2e::FreshFolder(std::string("web-") + std::string(name)), "out.txt"));
}

std::string ReadUnixFile(const std::string& unixPath) {
    return e2e::ReadFileBytes(e2e::WindowsPathOf(unixPath)).value_or("");
}

std::string Quote(std::string_view arg) {
    return "'" + std::string(arg) + "'";
}

// A shell command run on the host. Wine starts Unix programs but gives no handle to wait on, so
// the command marks its end in a file; Finished() polls for it.
class HostCommand {
  public:
    explicit HostCommand(const std::string& command) {
        static int count = 0;
        _done = e2e::JoinPath(e2e::FreshFolder("web-host" + std::to_string(++count)), "done");
        std::string line = "/bin/sh -c \"" + command + " ; echo $? > " + e2e::UnixPathOf(_done) + "\"";
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        _started = ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, "C:\\", &si, &pi) != 0;
        for (HANDLE h : {pi.hProcess, pi.hThread}) {
            if (h != nullptr) {
                (void)::CloseHandle(h);
            }
        }
    }
    [[nodiscard]] bool Started() const { return _started; }
    [[nodiscard]] bool Finished() const { return !e2e::ReadFileBytes(_done).value_or("").empty(); }
    bool Wait(e2e::Millis timeout) const {
        return e2e::WaitUntil([&] { return Finished(); }, timeout);
    }

  private:
    std::string _done;
    bool _started = false;
};

std::string Join(const std::vector<std::string>& args) {
    std::string line;
    for (const auto& a : args) {
        line += (line.empty() ? "" : " ") + Quote(a);
    }
    return line;
}

std::string HelperScript(std::string_view name) {
    return e2e::UnixPathOf(e2e::JoinPath(e2e::TestBinDir(), name));
}

HostCommand StartHelper(std::vector<std::string> args) {
    return HostCommand("/usr/bin/python3 " + Quote(HelperScript("webclient.py")) + " " + Join(args));
}

// Runs the helper to its end and returns what it wrote.
std::string RunHelper(const std::string& cmd, std::vector<std::string> args, e2e::Millis timeout = 60s) {
    const std::string out = UnixTemp(cmd);
    args.insert(args.begin(), {cmd, std::to_string(kPort), out});
    const HostCommand helper = StartHelper(args);
    EXPECT_TRUE(helper.Started());
    EXPECT_TRUE(helper.Wait(timeout)) << cmd << " did not end";
    return ReadUnixFile(out);
}

struct CurlResult {
    int status = 0;
    std::string body;
    std::string headers;
};

CurlResult Curl(const std::vector<std::string>& extra, const std::string& path) {
    const std::string folder = e2e::FreshFolder("web-curl");
    const std::string body = e2e::UnixPathOf(e2e::JoinPath(folder, "body"));
    const std::string head = e2e::UnixPathOf(e2e::JoinPath(folder, "head"));
    std::vector<std::string> args = {"-s", "-m", "10", "-o", body, "-D", head};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back("http://127.0.0.1:" + std::to_string(kPort) + path);
    const HostCommand curl("/usr/bin/curl " + Join(args));
    EXPECT_TRUE(curl.Started());
    EXPECT_TRUE(curl.Wait(20s));
    CurlResult r;
    r.body = ReadUnixFile(body);
    r.headers = ReadUnixFile(head);
    if (r.headers.size() > 12) {
        r.status = std::atoi(r.headers.substr(9, 3).c_str());
    }
    return r;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

std::string Field(const std::string& json, const std::string& name) {
    const std::string key = "\"" + name + "\":";
    const size_t at = json.find(key);
    if (at == std::string::npos) {
        return "<none>";
    }
    size_t end = at + key.size();
    if (json[end] == '"') {
        end = json.find('"', end + 1) + 1;
    } else {
        end = json.find_first_of(",}", end);
    }
    return json.substr(at + key.size(), end - at - key.size());
}

// ---- Pesora ---------------------------------------------------------------------------------

class Pesora {
  public:
    Pesora(const std::string& name, const std::vector<std::pair<std::string, std::string>>& settings) : _name(name) {
        _exe = e2e::InstallPesora(e2e::FreshFolder("web-" + name), name + ".exe");
        const std::string ini = e2e::SettingsFileFor(name);
        e2e::DeleteFileAt(ini);
        e2e::MakeFolders(e2e::FolderOf(ini));
        for (const auto& [key, value] : settings) {
            e2e::WriteIni(ini, "Settings", key, value);
        }
        _process = e2e::Start(_exe);
        if (_process.Started()) {
            main = e2e::WaitForMainWindow(_process);
        }
    }
    Pesora(const Pesora&) = delete;
    Pesora& operator=(const Pesora&) = delete;
    ~Pesora() {
        if (_process.Running() && main != nullptr) {
            e2e::ClickMenu(main, IDM_EXIT);
        }
        EXPECT_TRUE(_process.WaitOrKill());
    }
    [[nodiscard]] std::string Weight() const { return e2e::Text(e2e::Control(main, IDC_WEIGHT)); }
    [[nodiscard]] std::string Status() const { return e2e::Text(e2e::Control(main, IDC_STATUS)); }
    bool Shows(const std::string& weight, e2e::Millis timeout = 5s) const {
        return e2e::WaitUntil([&] { return Weight() == weight; }, timeout);
    }
    // Wine reports no memory figures for another process; the host's /proc (drive Z:) has them.
    [[nodiscard]] size_t ResidentKb() const {
        WIN32_FIND_DATAA fd{};
        HANDLE h = ::FindFirstFileA("Z:\\proc\\*", &fd);
        if (h == INVALID_HANDLE_VALUE) {
            return 0;
        }
        size_t kb = 0;
        const std::string wanted = "\\" + _name + ".exe";
        do {
            const std::string dir = std::string("Z:\\proc\\") + fd.cFileName;
            if (fd.cFileName[0] < '0' || fd.cFileName[0] > '9' ||
                e2e::ReadFileBytes(dir + "\\cmdline").value_or("").find(wanted) == std::string::npos) {
                continue;
            }
            const std::string status = e2e::ReadFileBytes(dir + "\\status").value_or("");
            const size_t at = status.find("VmRSS:");
            if (at != std::string::npos) {
                kb = static_cast<size_t>(std::atoll(status.c_str() + at + 6));
            }
            break;
        } while (::FindNextFileA(h, &fd));
        ::FindClose(h);
        return kb;
    }
    [[nodiscard]] bool Running() const { return _process.Running(); }
    std::string SettingsFile() const { return e2e::SettingsFileFor(_name); }
    HWND main = nullptr;

  private:
    std::string _name;
    std::string _exe;
    e2e::Process _process;
};

void Key(BYTE vk, bool down) {
    ::keybd_event(vk, static_cast<BYTE>(::MapVirtualKeyW(vk, 0)), down ? 0 : KEYEVENTF_KEYUP, 0);
}

void PressF9() {
    Key(VK_F9, true);
    ::Sleep(80);
    Key(VK_F9, false);
}

// One copy of Pesora with the endpoint on, shared by the tests (each start under Wine costs
// seconds); the scale is set by each test.
class WebEndpoint : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::string error;
        s_plugged = e2e::Plug(Scale(), &error);
        s_error = error;
        if (!s_plugged) {
            return;
        }
        (void)e2e::SetWeight(kSerial, 4, 3, -2, 100);
        std::this_thread::sleep_for(kRawInputCacheWait);
        s_pesora = new Pesora("Web", {{"SelectedScale", e2e::HidPath(Scale())},
                                      {"SampleRate", "50"},
                                      {"WebPort", std::to_string(kPort)},
                                      {"WebOrigins", "https://ship.example " + kAllowedOrigin}});
    }
    static void TearDownTestSuite() {
        delete s_pesora;
        s_pesora = nullptr;
        if (s_plugged) {
            (void)e2e::Unplug(kSerial);
        }
    }
    void SetUp() override {
        ASSERT_TRUE(s_plugged) << s_error;
        ASSERT_NE(s_pesora, nullptr);
        ASSERT_NE(s_pesora->main, nullptr);
    }
    // Sets the scale's report and waits until Pesora shows it.
    static void Weigh(uint8_t status, int16_t weight, const std::string& shown) {
        ASSERT_TRUE(e2e::SetWeight(kSerial, status, 3, -2, weight));
        ASSERT_TRUE(s_pesora->Shows(shown)) << s_pesora->Weight();
    }

    static inline bool s_plugged = false;
    static inline std::string s_error;
    static inline Pesora* s_pesora = nullptr;
};

TEST_F(WebEndpoint, CurlReadsTheWeightWhileTheScaleChanges) {
    HWND list = e2e::Control(s_pesora->main, IDC_SCALE_LIST);
    ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::ListSelection(list) >= 0; }, 10s));
    const auto listRows = e2e::ListRows(list);
    const int selected = e2e::ListSelection(list);
    const std::string scaleName = ",\"scale\":\"" + listRows[static_cast<size_t>(selected)] + "\",";
    struct Row {
        int line;
        uint8_t status;
        int16_t weight;
        std::string shown;
        std::string expect;  // the JSON up to the time
    };
    const Row rows[] = {
        {__LINE__, 4, 125, "1.25 kg",
         R"({"weight":1.25,"unit":"kg","text":"1.25 kg","status":"","statusCode":4,"stable":true)" + scaleName},
        {__LINE__, 3, 250, "2.5 kg",
         R"({"weight":2.5,"unit":"kg","text":"2.5 kg","status":"Scale In Motion","statusCode":3,"stable":false)" +
             scaleName},
        {__LINE__, 5, 75, "-0.75 kg",
         R"({"weight":-0.75,"unit":"kg","text":"-0.75 kg","status":"Negative Weight","statusCode":5,"stable":false)" +
             scaleName},
        {__LINE__, 2, 0, "0 kg",
         R"({"weight":0,"unit":"kg","text":"0 kg","status":"","statusCode":2,"stable":true)" + scaleName},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        Weigh(row.status, row.weight, row.shown);
        const CurlResult r = Curl({}, "/weight");
        EXPECT_EQ(r.status, 200) << r.headers;
        EXPECT_EQ(r.body.substr(0, row.expect.size()), row.expect) << r.body;
        EXPECT_NE(r.headers.find("application/json; charset=utf-8"), std::string::npos) << r.headers;
        EXPECT_EQ(r.headers.find("Access-Control-Allow-Origin"), std::string::npos) << r.headers;
        EXPECT_EQ(Field(r.body, "time").size(), 26u) << r.body;  // "2026-03-05T10:15:30.250Z"
        // The status line names the endpoint while the scale has nothing to say.
        const std::string status = Field(row.expect + "}", "status");
        EXPECT_EQ(s_pesora->Status(), status == "\"\"" ? "Web endpoint: http://localhost:" + std::to_string(kPort)
                                                       : status.substr(1, status.size() - 2));
    }
}

TEST_F(WebEndpoint, EventsDeliverEveryChangeOfTenWeightsInOrder) {
    Weigh(4, 100, "1 kg");
    const std::string out = UnixTemp("follow");
    const HostCommand follower = StartHelper({"follow", std::to_string(kPort), "11", out, kAllowedOrigin});
    ASSERT_TRUE(follower.Started());
    ASSERT_TRUE(e2e::WaitUntil([&] { return !ReadUnixFile(out).empty(); }, 10s)) << "no first event";
    std::vector<std::string> shown;
    for (int i = 1; i <= 10; ++i) {
        std::string text = std::to_string(1 + i / 100) + "." + std::to_string(i % 100 / 10) + std::to_string(i % 10);
        // 1.01 .. 1.1 kg as Pesora formats them
        while (text.back() == '0') {
            text.pop_back();
        }
        shown.push_back(text + " kg");
        Weigh(4, static_cast<int16_t>(100 + i), shown.back());
    }
    ASSERT_TRUE(follower.Wait(20s));
    const auto lines = Lines(ReadUnixFile(out));
    ASSERT_EQ(lines.size(), 12u) << ReadUnixFile(out);
    EXPECT_EQ(Field(lines[0], "text"), "\"1 kg\"");
    for (size_t i = 0; i < 10; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Field(lines[i + 1], "text"), "\"" + shown[i] + "\"");
    }
    EXPECT_EQ(lines[11], "end");
}

TEST_F(WebEndpoint, ZeroSendsTheZeroReportOnlyForAllowedCallers) {
    Weigh(4, 125, "1.25 kg");
    const std::vector<uint8_t> zero = {2, 2, 0, 0, 0};
    struct Row {
        int line;
        std::vector<std::string> args;
        int status;
        bool zeroes;
    };
    const Row rows[] = {
        {__LINE__, {"-X", "POST"}, 204, true},
        {__LINE__, {"-X", "POST", "-H", "Origin: " + kAllowedOrigin}, 204, true},
        {__LINE__, {"-X", "POST", "-H", "Origin: " + kForeignOrigin}, 403, false},
        {__LINE__, {"-X", "POST", "-H", "Host: attacker.example:" + std::to_string(kPort)}, 403, false},
        {__LINE__, {}, 405, false},  // GET /zero
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        ASSERT_TRUE(e2e::ClearOutputs(kSerial));
        const CurlResult r = Curl(row.args, "/zero");
        EXPECT_EQ(r.status, row.status) << r.headers;
        if (row.zeroes) {
            EXPECT_TRUE(
                e2e::WaitUntil([&] { return e2e::Outputs(kSerial) == std::vector<std::vector<uint8_t>>{zero}; }, 5s));
        } else {
            std::this_thread::sleep_for(500ms);
            EXPECT_TRUE(e2e::Outputs(kSerial).empty());
        }
        // reading resumes after a zero
        EXPECT_TRUE(s_pesora->Shows("1.25 kg"));
    }
}

TEST_F(WebEndpoint, ForeignHostsAndOriginsAreRefusedAllowedOnesGetCors) {
    Weigh(4, 125, "1.25 kg");
    struct Row {
        int line;
        std::vector<std::string> args;
        int status;
        std::string allowOrigin;  // empty: the header must be absent
        bool hasBody;
    };
    const std::string port = std::to_string(kPort);
    const Row rows[] = {
        {__LINE__, {"-H", "Host: attacker.example:" + port}, 403, "", false},
        {__LINE__, {"-H", "Host: localhost.attacker.example"}, 403, "", false},
        {__LINE__, {"-H", "Host: localhost:" + port}, 200, "", true},
        {__LINE__, {"-H", "Host: [::1]:" + port}, 200, "", true},
        {__LINE__, {"-H", "Origin: " + kForeignOrigin}, 403, "", false},
        {__LINE__, {"-H", "Origin: https://ship.example.attacker.example"}, 403, "", false},
        {__LINE__, {"-H", "Origin: https://ship.example"}, 200, "https://ship.example", true},
        {__LINE__,
         {"-X", "OPTIONS", "-H", "Origin: " + kAllowedOrigin, "-H", "Access-Control-Request-Method: POST"},
         204,
         kAllowedOrigin,
         false},
        {__LINE__,
         {"-X", "OPTIONS", "-H", "Origin: " + kForeignOrigin, "-H", "Access-Control-Request-Method: POST"},
         403,
         "",
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        const CurlResult r = Curl(row.args, "/weight");
        EXPECT_EQ(r.status, row.status) << r.headers;
        const size_t at = r.headers.find("Access-Control-Allow-Origin: ");
        if (row.allowOrigin.empty()) {
            EXPECT_EQ(at, std::string::npos) << r.headers;
        } else {
            EXPECT_NE(r.headers.find("Access-Control-Allow-Origin: " + row.allowOrigin + "\r\n"), std::string::npos)
                << r.headers;
        }
        EXPECT_EQ(r.body.find("1.25"), row.hasBody ? 0u + r.body.find("1.25") : std::string::npos) << r.body;
        EXPECT_EQ(!r.body.empty(), row.hasBody) << r.body;
    }
    // An oversized request is refused before it is read to its end.
    const auto oversized = RunHelper("oversized", {});
    EXPECT_TRUE(oversized == "status 431\n" || oversized == "status 0\n") << oversized;
}

// A real browser: a page from an allowed origin follows the weight through EventSource and may
// zero the scale; the same page from another origin gets nothing and cannot zero it. Both run at
// once, so exactly one zero report must reach the scale.
TEST_F(WebEndpoint, BrowserPageFollowsTheScaleOnlyFromAnAllowedOrigin) {
    Weigh(4, 300, "3 kg");
    ASSERT_TRUE(e2e::ClearOutputs(kSerial));
    const std::string allowedOut = UnixTemp("page-allowed");
    const std::string foreignOut = UnixTemp("page-foreign");
    const auto script = Quote(HelperScript("browser.py"));
    const HostCommand allowed("/usr/bin/python3 " + script + " " +
                              Join({std::to_string(kPort), std::to_string(kPagePort), allowedOut, "90", "zero"}));
    const HostCommand foreign(
        "/usr/bin/python3 " + script + " " +
        Join({std::to_string(kPort), std::to_string(kForeignPagePort), foreignOut, "90", "zero"}));
    ASSERT_TRUE(allowed.Started());
    ASSERT_TRUE(foreign.Started());
    // The page shows the weight as soon as it is open (Chromium takes seconds to start here).
    ASSERT_TRUE(e2e::WaitUntil([&] { return ReadUnixFile(allowedOut).find("shown ") != std::string::npos; }, 45s))
        << ReadUnixFile(allowedOut);
    const std::vector<std::pair<int16_t, std::string>> steps = {{325, "3.25 kg"}, {350, "3.5 kg"}, {375, "3.75 kg"}};
    for (const auto& [weight, text] : steps) {
        Weigh(4, weight, text);
        EXPECT_TRUE(
            e2e::WaitUntil([&] { return ReadUnixFile(allowedOut).find("shown " + text) != std::string::npos; }, 5s))
            << text << ": " << ReadUnixFile(allowedOut);
    }
    // Both pages have had their say once the foreign one saw its stream and its zero fail.
    EXPECT_TRUE(e2e::WaitUntil(
        [&] {
            const std::string f = ReadUnixFile(foreignOut);
            return f.find("error\n") != std::string::npos && f.find("zero failed\n") != std::string::npos;
        },
        20s));
    EXPECT_TRUE(e2e::WaitUntil([&] { return ReadUnixFile(allowedOut).find("zero ") != std::string::npos; }, 10s));
    for (const std::string& out : {allowedOut, foreignOut}) {
        (void)e2e::WriteFileBytes(e2e::WindowsPathOf(out + ".stop"), "stop");
    }
    ASSERT_TRUE(allowed.Wait(30s));
    ASSERT_TRUE(foreign.Wait(30s));
    ASSERT_NE(ReadUnixFile(allowedOut).find("end\n"), std::string::npos);
    const std::string a = ReadUnixFile(allowedOut);
    const std::string f = ReadUnixFile(foreignOut);
    std::printf("allowed page:\n%sforeign page:\n%s", a.c_str(), f.c_str());
    // in the order the scale went through them
    size_t at = 0;
    for (const auto& [weight, text] : steps) {
        at = a.find("shown " + text + "\n", at);
        EXPECT_NE(at, std::string::npos) << text;
    }
    EXPECT_NE(a.find("zero 204\n"), std::string::npos) << a;
    EXPECT_EQ(f.find("shown "), std::string::npos) << f;
    EXPECT_NE(f.find("error\n"), std::string::npos) << f;
    EXPECT_NE(f.find("zero failed\n"), std::string::npos) << f;
    EXPECT_EQ(e2e::Outputs(kSerial), (std::vector<std::vector<uint8_t>>{{2, 2, 0, 0, 0}}));
}

// Idle connections, a client that stops reading, and a stream of changes at the same time:
// Pesora keeps reading the scale and typing on the hotkey, the endpoint sheds the bad clients
// and answers again afterwards, and its memory stays where it was.
TEST_F(WebEndpoint, FloodsAndStalledClientsDoNotStopReadingOrTyping) {
    Weigh(4, 125, "1.25 kg");
    const size_t memoryBefore = s_pesora->ResidentKb();
    const std::string idleOut = UnixTemp("idle");
    const std::string stallOut = UnixTemp("stall");
    // The stream first: while the idle connections fill every slot, a new one is refused.
    const HostCommand stall = StartHelper({"stall", std::to_string(kPort), stallOut, stallOut + ".go"});
    ASSERT_TRUE(stall.Started());
    ASSERT_TRUE(e2e::WaitUntil([&] { return !ReadUnixFile(stallOut + ".started").empty(); }, 10s));
    const HostCommand idle = StartHelper({"idle", std::to_string(kPort), idleOut, "200", "12"});
    ASSERT_TRUE(idle.Started());

    e2e::InProcessTarget target("Web Target");
    int typed = 0;
    std::string expectTyped;
    const auto start = std::chrono::steady_clock::now();
    int16_t w = 200;
    // Long enough for the idle connections to time out, and enough events for the stalled
    // client's buffers and queue to overflow however slowly this machine runs.
    while (std::chrono::steady_clock::now() - start < 14s || w < 200 + 240) {
        ASSERT_LT(std::chrono::steady_clock::now() - start, 90s);
        ++w;
        ASSERT_TRUE(e2e::SetWeight(kSerial, 4, 3, -2, w));
        const std::string text = [&] {
            std::string t = std::to_string(w / 100) + "." + std::to_string(w % 100 / 10) + std::to_string(w % 10);
            while (t.back() == '0') {
                t.pop_back();
            }
            if (t.back() == '.') {
                t.pop_back();
            }
            return t + " kg";
        }();
        ASSERT_TRUE(s_pesora->Shows(text, 3s)) << "stopped reading at " << text << ": " << s_pesora->Weight();
        if (w % 40 == 0) {
            target.Focus();
            (void)e2e::WaitUntil([&] { return ::GetForegroundWindow() == target.window(); }, 2s);
            PressF9();
            expectTyped += text;
            ++typed;
            EXPECT_TRUE(e2e::WaitUntil([&] { return target.Text() == expectTyped; }, 5s))
                << "typed " << target.Text() << " expected " << expectTyped;
        }
    }
    EXPECT_GE(typed, 2);
    (void)e2e::WriteFileBytes(e2e::WindowsPathOf(stallOut + ".go"), "go");
    ASSERT_TRUE(idle.Wait(60s));
    ASSERT_TRUE(stall.Wait(60s));
    const auto idleLines = Lines(ReadUnixFile(idleOut));
    const auto stallLines = Lines(ReadUnixFile(stallOut));
    std::printf("idle: %s | stall: %s\n", ReadUnixFile(idleOut).c_str(), ReadUnixFile(stallOut).c_str());
    ASSERT_EQ(idleLines.size(), 4u);
    // every idle connection was closed by the server (refused at once, or timed out)
    const int opened = std::atoi(idleLines[0].substr(7).c_str());
    EXPECT_EQ(idleLines[2], "closed " + std::to_string(opened));
    EXPECT_EQ(idleLines[3], "after 200");
    ASSERT_EQ(stallLines.size(), 3u);
    EXPECT_EQ(stallLines[0], "started 200");
    EXPECT_EQ(stallLines[1], "dropped 1");
    EXPECT_EQ(Curl({}, "/weight").status, 200);
    const size_t memoryAfter = s_pesora->ResidentKb();
    std::printf("resident before %zu KB, after %zu KB\n", memoryBefore, memoryAfter);
    EXPECT_GT(memoryBefore, 0u);
    EXPECT_LT(memoryAfter, memoryBefore + 8 * 1024);
    EXPECT_TRUE(s_pesora->Running());
}

// The loopback listeners the host sees, for the Wine session that holds the sockets of the
// program listening on `knownPort` (Wine keeps every socket of a session in its wineserver).
std::vector<std::string> SessionListeners(int knownPort) {
    const std::string out = UnixTemp("ss");
    const HostCommand ss("ss -ltnpH > " + out);
    EXPECT_TRUE(ss.Wait(10s));
    const auto lines = Lines(ReadUnixFile(out));
    std::string owner;
    for (const auto& line : lines) {
        if (line.find(":" + std::to_string(knownPort) + " ") != std::string::npos) {
            const size_t at = line.find("pid=");
            owner = line.substr(at, line.find(',', at) - at);
        }
    }
    std::vector<std::string> mine;
    for (const auto& line : lines) {
        if (!owner.empty() && line.find(owner + ",") != std::string::npos) {
            mine.push_back(line.substr(0, line.find("users:")));
        }
    }
    return mine;
}

// Nothing listens unless the settings ask for it, and a port in use is reported while the rest
// of the program works.
TEST(WebEndpointSettings, FreshSettingsOpenNoPortAndATakenPortIsReported) {
    const int onPort = kPort + 10;
    // A scale with a stable weight: the status line is free for the endpoint's notice.
    e2e::ScaleOptions scale = Scale();
    scale.serial = "1302";
    scale.productId = 0x1302;
    std::string error;
    ASSERT_TRUE(e2e::Plug(scale, &error)) << error;
    ASSERT_TRUE(e2e::SetWeight(scale.serial, 4, 3, -2, 100));
    struct UnplugAtEnd {
        std::string serial;
        ~UnplugAtEnd() { (void)e2e::Unplug(serial); }
    } unplug{scale.serial};
    std::this_thread::sleep_for(kRawInputCacheWait);
    const std::pair<std::string, std::string> selected{"SelectedScale", e2e::HidPath(scale)};
    // Another program holds kTakenPort for the length of this test.
    const std::string held = UnixTemp("hold");
    const HostCommand holder = StartHelper({"hold", std::to_string(kTakenPort), held, "25"});
    ASSERT_TRUE(holder.Started());
    ASSERT_TRUE(e2e::WaitUntil([&] { return !ReadUnixFile(held).empty(); }, 10s));
    Pesora listening("WebOn", {selected, {"WebPort", std::to_string(onPort)}});
    ASSERT_NE(listening.main, nullptr);
    EXPECT_TRUE(e2e::WaitUntil(
        [&] { return listening.Status() == "Web endpoint: http://localhost:" + std::to_string(onPort); }, 10s))
        << listening.Status();
    const auto before = SessionListeners(onPort);
    // Loopback only: 127.0.0.1 and ::1, never a wildcard address.
    std::string joined;
    for (const auto& l : before) {
        joined += l + "\n";
    }
    EXPECT_NE(joined.find("127.0.0.1:" + std::to_string(onPort)), std::string::npos) << joined;
    EXPECT_NE(joined.find("[::1]:" + std::to_string(onPort)), std::string::npos) << joined;
    EXPECT_EQ(joined.find("0.0.0.0:" + std::to_string(onPort)), std::string::npos) << joined;
    EXPECT_EQ(joined.find("*:" + std::to_string(onPort)), std::string::npos) << joined;
    {
        Pesora fresh("WebFresh", {});  // no settings file at all
        ASSERT_NE(fresh.main, nullptr);
        Pesora taken("WebTaken", {selected, {"WebPort", std::to_string(kTakenPort)}});
        ASSERT_NE(taken.main, nullptr);
        EXPECT_TRUE(e2e::WaitUntil(
            [&] {
                return taken.Status() == "Web port " + std::to_string(kTakenPort) + " is in use by another program";
            },
            10s))
            << taken.Status();
        std::this_thread::sleep_for(1s);
        EXPECT_EQ(SessionListeners(onPort), before);  // neither opened a port of its own
        EXPECT_TRUE(taken.Running());
        EXPECT_TRUE(fresh.Running());
        // the copy without its port reads the scale all the same
        EXPECT_TRUE(taken.Shows("1 kg"));
        EXPECT_TRUE(e2e::SetWeight(scale.serial, 3, 3, -2, 150));
        EXPECT_TRUE(taken.Shows("1.5 kg"));
        EXPECT_TRUE(e2e::WaitUntil([&] { return taken.Status() == "Scale In Motion"; }, 5s)) << taken.Status();
    }
    // The fresh copy wrote the two keys with their defaults at shutdown.
    const auto lines = e2e::IniSectionLines(e2e::SettingsFileFor("WebFresh"), "Settings");
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "WebPort=0");
    EXPECT_EQ(lines.back(), "WebOrigins=");
}

}  // namespace

// Faults a read-through found, each shown on the real program: no weight for a scale that is
// gone or has not reported, hand edits and UTF-8 settings files kept, paths beyond the ANSI code
// page, and the run-once entry of a refused copy.
#include <winsock2.h>

#include "Fixture.h"
#include "app/AnsiCodePage_win.h"

namespace {

using namespace e2e;
using namespace std::chrono_literals;

constexpr int kWebPort = 18093;

// The body of GET `path` on the local endpoint; empty when nothing answers.
std::string HttpGet(const char* path) {
    WSADATA wsa{};
    (void)::WSAStartup(MAKEWORD(2, 2), &wsa);
    std::string body;
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = ::htons(kWebPort);
    to.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
        const std::string request =
            std::string("GET ") + path + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n";
        (void)::send(s, request.data(), static_cast<int>(request.size()), 0);
        char buf[4096];
        for (int n; (n = ::recv(s, buf, sizeof buf, 0)) > 0;) {
            body.append(buf, static_cast<size_t>(n));
        }
    }
    (void)::closesocket(s);
    return body.substr(std::min(body.size(), body.find("\r\n\r\n") + 4));
}

// Stays true for a moment: proves that something does not come back.
bool StaysTrue(const std::function<bool()>& condition) {
    return !WaitUntil([&] { return !condition(); }, 600ms);
}

std::optional<std::wstring> RunOnceValue(const wchar_t* name) {
    wchar_t data[1024] = {};
    DWORD size = sizeof data;
    if (::RegGetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce", name, RRF_RT_REG_SZ,
                       nullptr, data, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::wstring(data);
}

// No weight without a reporting scale, a UTF-8 file without mark, and a hand edit that survives
// the exit, on one running copy.
TEST(Faults, NoWeightWithoutAScaleAndTheFileKeepsItsEdits) {
    Scale a(Scale::Options("2201"));
    ASSERT_TRUE(a.SetGrams(1250));
    ScaleOptions silent = Scale::Options("2202", {}, 0x8004);  // its own product: its own name
    silent.onChangeOnly = true;
    silent.refuseInputRequests = true;
    Scale b(silent);
    PesoraOptions options;
    options.name = "FaultsScale";
    options.settings = SettingsText({{"SelectedScale", a.Path()},
                                     {"Preamble", "\xC5\x81"},  // Ł, UTF-8 beyond the ANSI code page
                                     {"WebPort", std::to_string(kWebPort)},
                                     {"SampleRate", "50"}});
    Pesora p(options);
    ASSERT_TRUE(p.Started());
    ASSERT_TRUE(WaitUntil([&] { return p.Weight().find("1250") != std::string::npos; }, 10s)) << p.Weight();
    Target target;
    ASSERT_TRUE(target.Focus());
    {
        SCOPED_TRACE("another scale chosen: nothing shown or typed until it reports");
        ASSERT_TRUE(p.WaitRow("2202")) << ::testing::PrintToString(p.Rows());
        ASSERT_TRUE(p.ClickRow("2202"));
        EXPECT_TRUE(StaysTrue([&] { return p.Weight().empty(); })) << p.Weight();
        PressHotkey();
        EXPECT_TRUE(StaysTrue([&] { return target.Text().empty(); })) << target.Text();
    }
    {
        SCOPED_TRACE("its weight once it reports, with the UTF-8 preamble");
        ASSERT_TRUE(b.SetGrams(700));
        ASSERT_TRUE(WaitUntil([&] { return p.Weight().find("700") != std::string::npos; }, 5s)) << p.Weight();
        PressHotkey();
        EXPECT_TRUE(WaitUntil([&] { return target.Text().find("700") != std::string::npos; }, 5s));
        EXPECT_EQ(target.Text().substr(0, 2), "\xC5\x81") << target.Text();
    }
    {
        SCOPED_TRACE("the scale unplugged: no weight on screen or on the web");
        ASSERT_TRUE(b.Unplug());
        EXPECT_TRUE(StaysTrue([&] { return p.Weight().empty(); })) << p.Weight();
        const std::string json = HttpGet("/weight");
        EXPECT_NE(json.find(R"("weight":null)"), std::string::npos) << json;
        EXPECT_NE(json.find(R"("stable":false)"), std::string::npos) << json;
    }
    {
        SCOPED_TRACE("a key edited by hand while it runs keeps the edit at exit");
        std::string text = ReadFileBytes(p.SettingsFile()).value_or("");
        const size_t at = text.find("SampleRate=50");
        ASSERT_NE(at, std::string::npos) << text;
        ASSERT_TRUE(WriteFileBytes(p.SettingsFile(), text.replace(at, 13, "SampleRate=100")));
        ASSERT_TRUE(p.Exit());
        EXPECT_EQ(p.Setting("SampleRate"), "100");
    }
}

// A file with the UTF-8 mark keeps it and its one section.
TEST(Faults, AUtf8FileWithItsMarkIsWrittenBackSo) {
    PesoraOptions options;
    options.name = "FaultsMark";
    options.settings = "\xEF\xBB\xBF[Settings]\r\nPreamble=\xC5\x81\r\n";
    Pesora p(options);
    ASSERT_TRUE(p.Started());
    ASSERT_TRUE(p.Exit());
    const std::string text = ReadFileBytes(p.SettingsFile()).value_or("");
    EXPECT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(text.find("[Settings]"), text.rfind("[Settings]")) << text;
    EXPECT_NE(text.find("Preamble=\xC5\x81\r\n"), std::string::npos) << text;
}

// The lossless conversion to the ANSI code page takes no look-alikes.
TEST(Faults, TheAnsiCodePageRefusesLookAlikes) {
    const app::AnsiCodePageWin ansi;
    ASSERT_EQ(::GetACP(), 1252U);
    struct Row {
        const char* utf8;
        std::optional<std::string> expected;
    };
    const Row rows[] = {
        {"\xC5\x82", std::nullopt},            // ł, which best fit would make "l"
        {"\xE2\x80\x9E", "\x84"},              // „ is in the code page
        {"\xC3\xA9\xE2\x82\xAC", "\xE9\x80"},  // é €
        {"\xE2\x88\x9E", std::nullopt},        // ∞, best fit "8"
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.utf8);
        EXPECT_EQ(ansi.FromUtf8(row.utf8), row.expected);
    }
}

// A copy in a folder beyond the ANSI code page: a refused second copy writes the run-once entry
// Windows deleted, and the entry names the folder as it is.
TEST(Faults, ARefusedCopyAndAFolderBeyondTheAnsiCodePage) {
    const std::wstring folder = L"C:\\e2e\\\u0141ukasz";
    const std::wstring exe = folder + L"\\FaultsRun.exe";
    (void)::CreateDirectoryW(L"C:\\e2e", nullptr);
    (void)::CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(::CopyFileW(Wide(PesoraExe()).c_str(), exe.c_str(), FALSE));
    ASSERT_TRUE(WriteFileBytes(SettingsFileFor("FaultsRun"), "[Settings]\r\nLoadWithWindows=True\r\n"));
    auto start = [&] {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        std::wstring line = L"\"" + exe + L"\"";
        if (!::CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si,
                              &pi)) {
            return Process();
        }
        ::CloseHandle(pi.hThread);
        return Process(pi.hProcess, pi.dwProcessId);
    };
    Process first = start();
    const HWND main = WaitForMainWindow(first);
    ASSERT_NE(main, nullptr);
    (void)::RegDeleteKeyValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                               L"FaultsRun");
    const std::wstring command = folder + L"\\FaultsRun.EXE";
    {
        SCOPED_TRACE("a second copy is refused and writes the entry back");
        Process second = start();
        const HWND box = WaitForMessageBox(second.Pid(), "FaultsRun - Error!");
        ASSERT_NE(box, nullptr);
        (void)PressOk(box);
        EXPECT_TRUE(second.WaitOrKill());
        EXPECT_EQ(RunOnceValue(L"FaultsRun").value_or(L"?"), command);
    }
    {
        SCOPED_TRACE("the running copy's exit writes its folder as it is");
        (void)::RegDeleteKeyValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                                   L"FaultsRun");
        ASSERT_TRUE(ClickMenu(main, IDM_EXIT));
        EXPECT_TRUE(first.WaitOrKill());
        EXPECT_EQ(RunOnceValue(L"FaultsRun").value_or(L"?"), command);
    }
    (void)::RegDeleteKeyValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                               L"FaultsRun");
    (void)DeleteFileAt(SettingsFileFor("FaultsRun"));
}

}  // namespace

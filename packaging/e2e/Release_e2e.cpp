// The release as a Windows user meets it: the MSI installs Pesora for all users with a Start-menu
// shortcut and an entry in Apps & features, the installed program reads a scale, a newer MSI
// replaces it in place (an older one is refused), the uninstall of Apps & features removes it,
// and none of them touches the user's settings file; the portable zip's Pesora.exe runs from any
// folder.
//
// packaging/e2e/release-test.sh builds the files first and names them in the environment:
// PESORA_RELEASE_DIR (a Unix path), PESORA_RELEASE_VERSION and PESORA_RELEASE_NEXT (the version
// of the upgrade MSI built for this test only).
#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "Harness.h"
#include "VirtualScale.h"
#include "app/resource.h"
#include "dialogs/DialogIds.h"

namespace {

using namespace std::chrono_literals;

const std::string kSerial = "7301";
constexpr uint16_t kProductId = 0x7301;
constexpr int16_t kGrams = 250;
const std::string kShownWeight = "250 g";
// Wine refreshes a process's raw-input device list at most every 2 s.
constexpr auto kRawInputCacheWait = 2500ms;
constexpr e2e::Millis kMsiexecTimeout = 180s;

constexpr std::string_view kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

struct ReleaseFiles {
    std::string version;
    std::string next;
    std::string msi;       // Pesora-<version>-win64.msi
    std::string nextMsi;   // Pesora-<next>-win64.msi
    std::string exe;       // the stripped Pesora.exe the MSI and the zip carry
    std::string nextExe;   // the exe of the upgrade MSI
    std::string portable;  // the zip unpacked into a folder with blanks in its name
};

ReleaseFiles Files() {
    const std::string dir = Env("PESORA_RELEASE_DIR");
    ReleaseFiles f;
    f.version = Env("PESORA_RELEASE_VERSION");
    f.next = Env("PESORA_RELEASE_NEXT");
    if (dir.empty() || f.version.empty() || f.next.empty()) {
        return f;
    }
    const auto win = [&](const std::string& relative) { return e2e::WindowsPathOf(dir + "/" + relative); };
    f.msi = win("dist/Pesora-" + f.version + "-win64.msi");
    f.nextMsi = win("Pesora-" + f.next + "-win64.msi");
    f.exe = win("dist/Pesora.exe");
    f.nextExe = win("Pesora-" + f.next + ".exe");
    f.portable = win("portable/Pesora portable copy");
    return f;
}

std::string ShellFolder(int csidl) {
    char path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) {
        return {};
    }
    return path;
}

std::string InstallFolder() {
    return e2e::JoinPath(ShellFolder(CSIDL_PROGRAM_FILES), "Pesora");
}

// Where the per-machine install puts its Start-menu shortcut: the all-users Programs folder. Wine
// 8's msi gives ProgramMenuFolder the user's Programs folder whatever ALLUSERS says (its own
// FIXME), so under Wine the shortcut is looked for there.
std::string StartMenuShortcut() {
    const int folder = e2e::RunningUnderWine() ? CSIDL_PROGRAMS : CSIDL_COMMON_PROGRAMS;
    return e2e::JoinPath(ShellFolder(folder), "Pesora.lnk");
}

std::string Lower(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

// What a shortcut file points at, as the shell reads it; empty when it cannot be read.
std::string ShortcutTarget(const std::string& lnk) {
    IShellLinkA* link = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(&link)))) {
        return {};
    }
    std::string target;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        const std::wstring wide(lnk.begin(), lnk.end());
        char path[MAX_PATH] = {};
        if (SUCCEEDED(file->Load(wide.c_str(), STGM_READ)) &&
            SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH))) {
            target = path;
        }
        file->Release();
    }
    link->Release();
    return target;
}

// "major.minor.patch" of a file's version resource; empty without one.
std::string FileVersionOf(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) {
        return {};
    }
    std::vector<char> block(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!::GetFileVersionInfoA(path.c_str(), 0, size, block.data()) ||
        !::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &length) || info == nullptr) {
        return {};
    }
    return std::to_string(HIWORD(info->dwFileVersionMS)) + "." + std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(info->dwFileVersionLS));
}

// One entry of Apps & features.
struct UninstallEntry {
    std::string key;
    std::string displayVersion;
    std::string publisher;
    std::string uninstallString;
};

// The entries named "Pesora" under HKLM's Uninstall key.
std::vector<UninstallEntry> PesoraEntries() {
    std::vector<UninstallEntry> out;
    HKEY root = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, std::string(kUninstallKey).c_str(), 0, KEY_READ, &root) != ERROR_SUCCESS) {
        return out;
    }
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = sizeof name;
        if (::RegEnumKeyExA(root, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;
        }
        const std::string sub = std::string(kUninstallKey) + "\\" + name;
        if (e2e::ReadRegString(HKEY_LOCAL_MACHINE, sub, "DisplayName").value_or("") != "Pesora") {
            continue;
        }
        out.push_back({name, e2e::ReadRegString(HKEY_LOCAL_MACHINE, sub, "DisplayVersion").value_or(""),
                       e2e::ReadRegString(HKEY_LOCAL_MACHINE, sub, "Publisher").value_or(""),
                       e2e::ReadRegString(HKEY_LOCAL_MACHINE, sub, "UninstallString").value_or("")});
    }
    (void)::RegCloseKey(root);
    return out;
}

std::string Msiexec() {
    char system[MAX_PATH] = {};
    (void)::GetSystemDirectoryA(system, MAX_PATH);
    return e2e::JoinPath(system, "msiexec.exe");
}

// Runs msiexec with `arguments` and prints how long it took (a figure for the release notes, not
// a test); the exit code, or nullopt when it did not end in time.
std::optional<DWORD> RunMsiexec(const std::string& what, const std::string& arguments) {
    const auto t0 = std::chrono::steady_clock::now();
    e2e::Process msiexec = e2e::Start(Msiexec(), arguments);
    if (!msiexec.Started()) {
        return std::nullopt;
    }
    const auto code = msiexec.Wait(kMsiexecTimeout);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
    std::printf("figure: %s took %.1f s\n", what.c_str(), took.count());
    std::fflush(stdout);
    return code;
}

// The uninstall Apps & features runs: the entry's UninstallString ("MsiExec.exe /X{...}"), quiet.
std::optional<DWORD> RunUninstallString(const std::string& uninstallString) {
    const size_t blank = uninstallString.find(' ');
    if (blank == std::string::npos || Lower(uninstallString.substr(0, blank)) != "msiexec.exe") {
        ADD_FAILURE() << "unexpected UninstallString: " << uninstallString;
        return std::nullopt;
    }
    return RunMsiexec("uninstall", uninstallString.substr(blank + 1) + " /qn");
}

bool SameBytes(const std::string& a, const std::string& b) {
    const auto x = e2e::ReadFileBytes(a);
    const auto y = e2e::ReadFileBytes(b);
    return x && y && *x == *y;
}

std::string SettingsFile() {
    return e2e::SettingsFileFor("Pesora");
}

// The settings a first run needs: the test's scale as the one chosen last time.
void ChooseTheScale(const e2e::ScaleOptions& scale) {
    const std::string ini = SettingsFile();
    (void)e2e::DeleteFileAt(ini);
    (void)e2e::MakeFolders(e2e::FolderOf(ini));
    ASSERT_TRUE(e2e::WriteIni(ini, "Settings", "SelectedScale", e2e::HidPath(scale)));
}

// The text of the about box of a running Pesora, which names its version ("Pesora v1.0.0").
std::string AboutText(const e2e::Process& process, HWND main) {
    if (!e2e::ClickMenu(main, IDM_ABOUT)) {
        return {};
    }
    HWND box = nullptr;
    (void)e2e::WaitUntil(
        [&] { return (box = e2e::FindTopLevel(process.Pid(), "About Pesora")) != nullptr && e2e::Visible(box); }, 5s);
    if (box == nullptr) {
        return {};
    }
    std::string text = e2e::Text(e2e::Control(box, IDC_ABOUT_VERSION));
    (void)e2e::Post(box, WM_COMMAND, IDOK);
    (void)e2e::WaitUntil([&] { return !::IsWindow(box); }, 5s);
    return text;
}

// Starts `exe`, waits until it shows the scale's weight, checks that its about box names
// `version`, and ends it through File > Exit.
::testing::AssertionResult ReadsTheScale(const std::string& exe, const std::string& version) {
    e2e::Process process = e2e::Start(exe);
    if (!process.Started()) {
        return ::testing::AssertionFailure() << "could not start " << exe;
    }
    const HWND main = e2e::WaitForMainWindow(process);
    if (main == nullptr) {
        return ::testing::AssertionFailure() << exe << " showed no main window";
    }
    const bool shown = e2e::WaitUntil([&] { return e2e::Text(e2e::Control(main, IDC_WEIGHT)) == kShownWeight; }, 10s);
    const std::string weight = e2e::Text(e2e::Control(main, IDC_WEIGHT));
    const std::string status = e2e::Text(e2e::Control(main, IDC_STATUS));
    const std::string about = AboutText(process, main);
    (void)e2e::ClickMenu(main, IDM_EXIT);
    if (!process.WaitOrKill()) {
        return ::testing::AssertionFailure() << exe << " did not end after File > Exit";
    }
    if (!shown) {
        return ::testing::AssertionFailure()
               << exe << " shows weight '" << weight << "', status '" << status << "', not " << kShownWeight;
    }
    if (about != "Pesora v" + version) {
        return ::testing::AssertionFailure() << exe << ": the about box says '" << about << "'";
    }
    return ::testing::AssertionSuccess();
}

class Release : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        (void)::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        // Wine copies each new Start-menu shortcut into the Linux desktop's menus, outside the
        // bench's folders; its menu builder, disabled in this prefix, leaves them alone.
        if (e2e::RunningUnderWine()) {
            (void)e2e::WriteRegString(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", "winemenubuilder.exe", "");
        }
        std::string error;
        _plugged = e2e::Plug(Scale(), &error) && e2e::SetWeight(kSerial, 4, 2, 0, kGrams, &error);
        _plugError = error;
        if (_plugged) {
            std::this_thread::sleep_for(kRawInputCacheWait);
        }
    }
    static void TearDownTestSuite() {
        if (_plugged) {
            (void)e2e::Unplug(kSerial);
        }
        (void)e2e::DeleteFileAt(SettingsFile());
        ::CoUninitialize();
    }
    void SetUp() override {
        ASSERT_FALSE(_files.msi.empty()) << "PESORA_RELEASE_DIR/VERSION/NEXT not set: run through release-test.sh";
        ASSERT_TRUE(_plugged) << _plugError;
    }

    static e2e::ScaleOptions Scale() {
        e2e::ScaleOptions options;
        options.serial = kSerial;
        options.productId = kProductId;
        options.friendlyName = "Release Scale";
        options.intervalMs = 50;
        return options;
    }

    // A Pesora left installed by an earlier, failed run would turn the install into an upgrade.
    static void RemoveLeftovers() {
        for (const UninstallEntry& entry : PesoraEntries()) {
            (void)RunMsiexec("removing a leftover", "/x " + entry.key + " /qn");
        }
    }

    const ReleaseFiles _files = Files();
    static inline bool _plugged = false;
    static inline std::string _plugError;
};

TEST_F(Release, MsiInstallsUpgradesAndUninstallsAndLeavesTheSettings) {
    RemoveLeftovers();
    ASSERT_TRUE(PesoraEntries().empty());
    ASSERT_FALSE(e2e::FileExists(e2e::JoinPath(InstallFolder(), "Pesora.exe")));
    const std::string folder = InstallFolder();
    const std::string exe = e2e::JoinPath(folder, "Pesora.exe");
    const std::string ini = SettingsFile();

    {
        SCOPED_TRACE("install " + _files.msi);
        ASSERT_EQ(RunMsiexec("install", "/i \"" + _files.msi + "\" /qn"), std::optional<DWORD>(0));
        EXPECT_TRUE(SameBytes(exe, _files.exe)) << exe;
        EXPECT_TRUE(e2e::FileExists(e2e::JoinPath(folder, "PesoraHelp.chm")));
        EXPECT_TRUE(e2e::FileExists(e2e::JoinPath(folder, "LICENSE.txt")));
        EXPECT_EQ(FileVersionOf(exe), _files.version);
        ASSERT_TRUE(e2e::FileExists(StartMenuShortcut())) << StartMenuShortcut();
        EXPECT_EQ(Lower(ShortcutTarget(StartMenuShortcut())), Lower(exe));
        const auto entries = PesoraEntries();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].displayVersion, _files.version);
        EXPECT_EQ(entries[0].publisher, "the Pesora developers");
        EXPECT_NE(Lower(entries[0].uninstallString).find("/x"), std::string::npos) << entries[0].uninstallString;
    }
    {
        SCOPED_TRACE("the installed program reads the scale and keeps its settings");
        ChooseTheScale(Scale());
        ASSERT_TRUE(ReadsTheScale(exe, _files.version));
        // Ended through File > Exit, it saved its settings; the user then changes the hotkey.
        ASSERT_EQ(e2e::ReadIni(ini, "Settings", "SelectedScale"), e2e::HidPath(Scale()));
        ASSERT_TRUE(e2e::WriteIni(ini, "Settings", "HotKey", "632"));
        ASSERT_TRUE(e2e::WriteIni(ini, "Settings", "HotkeyStr", "CTRL+F9"));
    }
    const auto settings = e2e::ReadFileBytes(ini);
    ASSERT_TRUE(settings.has_value());
    {
        SCOPED_TRACE("upgrade with " + _files.nextMsi);
        ASSERT_EQ(RunMsiexec("upgrade", "/i \"" + _files.nextMsi + "\" /qn"), std::optional<DWORD>(0));
        const auto entries = PesoraEntries();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].displayVersion, _files.next);
        EXPECT_TRUE(SameBytes(exe, _files.nextExe)) << "the upgrade did not put the new Pesora.exe in place";
        EXPECT_EQ(FileVersionOf(exe), _files.next);
        EXPECT_TRUE(e2e::FileExists(e2e::JoinPath(folder, "PesoraHelp.chm")));
        EXPECT_EQ(Lower(ShortcutTarget(StartMenuShortcut())), Lower(exe));
        EXPECT_EQ(e2e::ReadFileBytes(ini), settings) << "the upgrade changed the settings file";
        // The new program runs with the user's settings.
        ASSERT_TRUE(ReadsTheScale(exe, _files.next));
        EXPECT_EQ(e2e::ReadIni(ini, "Settings", "HotKey"), "632");
        EXPECT_EQ(e2e::ReadIni(ini, "Settings", "HotkeyStr"), "CTRL+F9");
    }
    {
        SCOPED_TRACE("the older MSI does not replace the newer Pesora");
        EXPECT_NE(RunMsiexec("refused downgrade", "/i \"" + _files.msi + "\" /qn"), std::optional<DWORD>(0));
        const auto entries = PesoraEntries();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].displayVersion, _files.next);
        EXPECT_TRUE(SameBytes(exe, _files.nextExe));
    }
    const auto settingsAfterUpgrade = e2e::ReadFileBytes(ini);
    {
        SCOPED_TRACE("uninstall as Apps & features does");
        const auto entries = PesoraEntries();
        ASSERT_EQ(entries.size(), 1u);
        ASSERT_EQ(RunUninstallString(entries[0].uninstallString), std::optional<DWORD>(0));
        EXPECT_TRUE(PesoraEntries().empty());
        EXPECT_FALSE(e2e::FileExists(exe));
        EXPECT_FALSE(e2e::FileExists(e2e::JoinPath(folder, "PesoraHelp.chm")));
        EXPECT_FALSE(e2e::FileExists(e2e::JoinPath(folder, "LICENSE.txt")));
        EXPECT_FALSE(e2e::FolderExists(folder));
        EXPECT_FALSE(e2e::FileExists(StartMenuShortcut()));
        EXPECT_EQ(e2e::ReadFileBytes(ini), settingsAfterUpgrade) << "the uninstall changed the settings file";
    }
}

TEST_F(Release, ZipCopyRunsFromAnyFolder) {
    // Drive P: (mapped by release-test.sh) stands for a USB stick holding the unpacked zip.
    struct Row {
        int line;
        std::string folder;
    };
    const Row rows[] = {
        {__LINE__, _files.portable},
        {__LINE__, "P:\\"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        const std::string exe = e2e::JoinPath(r.folder, "Pesora.exe");
        ASSERT_TRUE(e2e::FileExists(exe)) << exe;
        EXPECT_TRUE(e2e::FileExists(e2e::JoinPath(r.folder, "PesoraHelp.chm")));
        EXPECT_EQ(FileVersionOf(exe), _files.version);
        ChooseTheScale(Scale());
        EXPECT_TRUE(ReadsTheScale(exe, _files.version));
    }
}

}  // namespace

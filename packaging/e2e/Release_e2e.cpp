// The release as a Windows user meets it: the MSI installs Pesora for all users with a Start-menu
// shortcut and an entry in Apps & features, the installed program reads a scale, a newer MSI
// replaces it in place (an older one is refused), the uninstall of Apps & features removes it,
// none of them touches the user's settings file, and the zip's Pesora.exe runs from a drive root.
// release-test.sh builds the files first and names them in PESORA_RELEASE_DIR (a Unix path),
// PESORA_RELEASE_VERSION and PESORA_RELEASE_NEXT (the upgrade MSI's, built for this test only).
#include <shlobj.h>

#include <cstdlib>

#include "Fixture.h"

namespace {

using namespace std::chrono_literals;

constexpr std::string_view kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? "" : value;
}

const std::string kVersion = Env("PESORA_RELEASE_VERSION");
const std::string kNext = Env("PESORA_RELEASE_NEXT");
std::string Released(const std::string& relative) {
    return e2e::WindowsPathOf(Env("PESORA_RELEASE_DIR") + "/" + relative);
}

std::string ShellFolder(int csidl) {
    char path[MAX_PATH] = {};
    return SUCCEEDED(::SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : "";
}

// The per-machine install's shortcut belongs in the all-users Programs folder; Wine 8's msi gives
// ProgramMenuFolder the user's whatever ALLUSERS says (its own FIXME).
std::string StartMenuShortcut() {
    return e2e::JoinPath(ShellFolder(e2e::RunningUnderWine() ? CSIDL_PROGRAMS : CSIDL_COMMON_PROGRAMS), "Pesora.lnk");
}

// The Apps & features entries named "Pesora": each one's key and its values.
struct Entry {
    std::string key, displayVersion, publisher, uninstallString;
};
std::vector<Entry> PesoraEntries() {
    std::vector<Entry> out;
    HKEY root = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, std::string(kUninstallKey).c_str(), 0, KEY_READ, &root) != ERROR_SUCCESS) {
        return out;
    }
    char name[256];
    for (DWORD i = 0, length = sizeof name;
         ::RegEnumKeyExA(root, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, length = sizeof name) {
        const std::string sub = std::string(kUninstallKey) + "\\" + name;
        const auto value = [&](const char* v) { return e2e::ReadRegString(HKEY_LOCAL_MACHINE, sub, v).value_or(""); };
        if (value("DisplayName") == "Pesora") {
            out.push_back({name, value("DisplayVersion"), value("Publisher"), value("UninstallString")});
        }
    }
    (void)::RegCloseKey(root);
    return out;
}

// msiexec's exit code, or nullopt when it did not end in time.
std::optional<DWORD> Msiexec(const std::string& arguments) {
    e2e::Process msiexec = e2e::Start(e2e::JoinPath(ShellFolder(CSIDL_SYSTEM), "msiexec.exe"), arguments);
    return msiexec.Started() ? msiexec.Wait(180s) : std::nullopt;
}

// Starts the released Pesora.exe at `exe` (the fixture's Pesora starts a copy of the build's)
// with the test's scale chosen last time: it must show the scale's weight and end through File >
// Exit. (That its about box names the version of its resource, MenusDde_e2e shows.)
::testing::AssertionResult ReadsTheScale(const std::string& exe, const e2e::Scale& scale) {
    const std::string ini = e2e::SettingsFileFor("Pesora");
    (void)e2e::MakeFolders(e2e::FolderOf(ini));
    (void)e2e::WriteFileBytes(ini, e2e::SettingsText({{"SelectedScale", scale.Path()}}));
    e2e::Process process = e2e::Start(exe);
    const HWND main = process.Started() ? e2e::WaitForMainWindow(process) : nullptr;
    const auto weight = [&] { return e2e::Text(e2e::Control(main, IDC_WEIGHT)); };
    const bool shown = main != nullptr && e2e::WaitUntil([&] { return weight() == "250 g"; }, 10s);
    (void)e2e::ClickMenu(main, IDM_EXIT);
    if (!process.WaitOrKill() || !shown) {
        return ::testing::AssertionFailure() << exe << " shows '" << weight() << "' or did not end through File > Exit";
    }
    return ::testing::AssertionSuccess();
}

class Release : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // Wine copies each new Start-menu shortcut into the Linux desktop's menus, outside the
        // bench's folders; its menu builder, disabled in this prefix, leaves them alone.
        (void)e2e::WriteRegString(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", "winemenubuilder.exe", "");
        s_scale = std::make_unique<e2e::Scale>(e2e::Scale::Options("7301", "Release Scale", 0x7301));
        (void)s_scale->SetGrams(250);
        e2e::WaitOutRawInputCache();
    }
    static void TearDownTestSuite() {
        s_scale.reset();
        (void)e2e::DeleteFileAt(e2e::SettingsFileFor("Pesora"));
    }
    void SetUp() override {
        ASSERT_FALSE(kVersion.empty() || kNext.empty()) << "PESORA_RELEASE_*: run through release-test.sh";
        ASSERT_TRUE(s_scale->Plugged());
    }
    static inline std::unique_ptr<e2e::Scale> s_scale;
};

TEST_F(Release, MsiInstallsUpgradesAndUninstallsAndLeavesTheSettings) {
    // A Pesora left installed by an earlier, failed run would turn the install into an upgrade.
    for (const Entry& leftover : PesoraEntries()) {
        (void)Msiexec("/x " + leftover.key + " /qn");
    }
    const std::string folder = e2e::JoinPath(ShellFolder(CSIDL_PROGRAM_FILES), "Pesora");
    const std::string exe = e2e::JoinPath(folder, "Pesora.exe");
    const std::string ini = e2e::SettingsFileFor("Pesora");
    ASSERT_TRUE(PesoraEntries().empty());
    // Each step: the files in place, the one Apps & features entry, the shortcut.
    const auto installed = [&](const std::string& version, const std::string& builtExe) {
        const auto entries = PesoraEntries();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].displayVersion, version);
        EXPECT_EQ(entries[0].publisher, "the Pesora developers");
        const auto bytes = e2e::ReadFileBytes(exe);
        EXPECT_TRUE(bytes && bytes == e2e::ReadFileBytes(builtExe)) << exe;
        EXPECT_EQ(e2e::FileVersion(exe, 3), version);
        EXPECT_TRUE(e2e::FileExists(e2e::JoinPath(folder, "PesoraHelp.chm")));
        EXPECT_TRUE(e2e::FileExists(e2e::JoinPath(folder, "LICENSE.txt")));
        // The shortcut's link information holds its target's path.
        EXPECT_NE(e2e::ReadFileBytes(StartMenuShortcut()).value_or("").find(exe), std::string::npos);
    };
    {
        SCOPED_TRACE("install, and the installed program reads the scale");
        ASSERT_EQ(Msiexec("/i \"" + Released("dist/Pesora-" + kVersion + "-win64.msi") + "\" /qn"), 0u);
        installed(kVersion, Released("dist/Pesora.exe"));
        ASSERT_TRUE(ReadsTheScale(exe, *s_scale));
        // The user then changes a setting.
        ASSERT_TRUE(e2e::WriteIni(ini, "Settings", "HotkeyStr", "CTRL+F9"));
    }
    const auto settings = e2e::ReadFileBytes(ini);
    ASSERT_TRUE(settings.has_value());
    {
        SCOPED_TRACE("upgrade");
        ASSERT_EQ(Msiexec("/i \"" + Released("Pesora-" + kNext + "-win64.msi") + "\" /qn"), 0u);
        installed(kNext, Released("Pesora-" + kNext + ".exe"));
        EXPECT_EQ(e2e::ReadFileBytes(ini), settings) << "the upgrade changed the settings file";
    }
    {
        SCOPED_TRACE("the older MSI does not replace the newer Pesora");
        EXPECT_NE(Msiexec("/i \"" + Released("dist/Pesora-" + kVersion + "-win64.msi") + "\" /qn"), 0u);
        installed(kNext, Released("Pesora-" + kNext + ".exe"));
    }
    {
        SCOPED_TRACE("uninstall as Apps & features does: its UninstallString, quietly");
        const auto entries = PesoraEntries();
        ASSERT_EQ(entries.size(), 1u);
        const std::string command = entries[0].uninstallString;
        ASSERT_STRCASEEQ(command.substr(0, command.find(' ')).c_str(), "msiexec.exe");
        ASSERT_EQ(Msiexec(command.substr(command.find(' ') + 1) + " /qn"), 0u);
        EXPECT_TRUE(PesoraEntries().empty());
        EXPECT_FALSE(e2e::FolderExists(folder));
        EXPECT_FALSE(e2e::FileExists(StartMenuShortcut()));
        EXPECT_EQ(e2e::ReadFileBytes(ini), settings) << "the uninstall changed the settings file";
    }
}

// Drive P: (mapped by release-test.sh) stands for a USB stick holding the unpacked zip at its
// root; the installed copy above ran from a folder with a blank in its name.
TEST_F(Release, ZipCopyRunsFromADriveRoot) {
    EXPECT_TRUE(ReadsTheScale("P:\\Pesora.exe", *s_scale));
}

}  // namespace

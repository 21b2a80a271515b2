#include "app/Lifecycle.h"
#include "app/CommandLine.h"
#include "app/LaunchAtStartup.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace {

// Records every step as "Name; "; the step named in `failing` throws after being recorded.
class RecordingSteps final : public app::IShellSteps {
  public:
    std::string steps, failing;
    bool otherInstance = false;
    std::function<void()> duringRefusal;  // what arrives while the refusal box is open

    void Record(const std::string& step) {
        steps += step + "; ";
        if (step == failing) {
            throw std::runtime_error(step);
        }
    }
    bool AnotherInstanceRunning() override { return otherInstance; }
    void ShowRefusal(const std::string& title, const std::string& text) override {
        Record("ShowRefusal(" + title + "|" + text + ")");
        if (duringRefusal) {
            duringRefusal();
        }
    }
    void LocateSettingsFile() override { Record("Locate"); }
    void SetHelpFile(const std::string& path) override { Record("Help(" + path + ")"); }
    void SetDdeTopic(const std::string& topic) override { Record("Dde(" + topic + ")"); }
    void CreateDeviceNotifications() override { Record("Notifications"); }
    void LoadSettings() override { Record("Load"); }
    void BuildHotkeyNames() override { Record("Names"); }
    void RegisterSendHotkey() override { Record("Register"); }
    void InstallHotkeyWindowProc() override { Record("Proc"); }
    void HideMainWindow() override { Record("Hide"); }
    void AddTrayIcon() override { Record("Icon"); }
    void MinimizeMainWindow() override { Record("Minimize"); }
    void RefreshDeviceList() override { Record("Refresh"); }
    void CloseScaleDevice() override { Record("CloseScale"); }
    void RestoreWindowProc() override { Record("RestoreProc"); }
    void UnregisterSendHotkey() override { Record("Unregister"); }
    void ReleaseDeviceNotifications() override { Record("Release"); }
    void DeleteTrayIcon() override { Record("DeleteIcon"); }
    void SaveSettings() override { Record("Save"); }
    void SetStartWithWindows(bool enable, const std::string& name, const std::string& command) override {
        Record(std::string("StartWithWindows(") + (enable ? "on," : "off,") + name + "," + command + ")");
    }
    void EndProcess() override { Record("End"); }
};

base::AppState StateFor(const char* exeName, const char* folder) {
    base::AppState s;
    s.exeName = exeName;
    s.programFolder = folder;
    return s;
}

const std::string kFirstSteps =
    "Locate; Help(C:\\Tools\\PesoraHelp.chm); Dde(Scale2); Notifications; Load; Names; "
    "Register; Proc; ";

TEST(Startup, RunsStepsInOrderForEachSwitchAndSetting) {
    const struct {
        int line;
        const char* arguments;
        bool minimize;
        std::string lastSteps;
        bool trayIconShown;
    } rows[] = {{__LINE__, "", false, "Icon; Refresh; ", true},
                {__LINE__, "H", false, "Icon; Refresh; ", true},
                {__LINE__, "-h", false, "Hide; Refresh; ", false},
                {__LINE__, "", true, "Icon; Minimize; Refresh; ", true},
                {__LINE__, "-H", true, "Hide; Minimize; Refresh; ", false}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.line);
        RecordingSteps steps;
        base::AppState state = StateFor("Scale2", "C:\\Tools");
        state.settings.MinimizeAtStartup = r.minimize;
        app::ShellState shell;
        EXPECT_EQ(app::RunStartup(steps, state, shell, r.arguments), app::StartupOutcome::Running);
        EXPECT_EQ(steps.steps, kFirstSteps + r.lastSteps);
        EXPECT_EQ(shell.trayIconShown, r.trayIconShown);
        EXPECT_EQ(shell.startHidden, !r.trayIconShown);
    }
    RecordingSteps steps;
    app::ShellState shell;
    app::RunStartup(steps, StateFor("Pesora", "D:\\"), shell, "");
    EXPECT_EQ(steps.steps.substr(0, 32), "Locate; Help(D:\\PesoraHelp.chm);");  // beside the program in a drive root
}

// The end of the log-on (or a close message) handled by the refusal box's message loop runs
// the shutdown: a refused copy writes no settings and touches no other copy's entry.
TEST(Startup, SecondCopyIsRefusedWithTheExactMessageAndTouchesNothing) {
    RecordingSteps steps;
    steps.otherInstance = true;
    base::AppState state = StateFor("Pesora", "C:\\Tools");
    state.settings.LoadWithWindows = true;
    app::ShellState shell;
    steps.duringRefusal = [&] { app::RunShutdown(steps, state, shell); };
    EXPECT_EQ(app::RunStartup(steps, state, shell, ""), app::StartupOutcome::Refused);
    const std::string refusal =
        "ShowRefusal(Pesora - Error!|Pesora is already running.\r\rNote:\rIf you want to input data from multiple "
        "USB HID scales, copy the Pesora.EXE program file and save it with a different file name and then run the "
        "renamed copy and configure it for the scale that you want to input data from.\rBe sure to select a "
        "different Hotkey in the settings for each scale that you want to input data from.); End; End; ";
    // Windows deleted the run-once entry that started this copy: written back, and nothing else.
    EXPECT_EQ(steps.steps, "Locate; Load; StartWithWindows(on,Pesora,C:\\Tools\\Pesora.EXE); " + refusal);
    EXPECT_FALSE(shell.trayIconShown);
    RecordingSteps off;
    off.otherInstance = true;
    state.settings.LoadWithWindows = false;
    EXPECT_EQ(app::RunStartup(off, state, shell, ""), app::StartupOutcome::Refused);
    EXPECT_EQ(off.steps, "Locate; Load; " + refusal.substr(0, refusal.size() - 5));
}

TEST(Startup, AFailingStepIsAbandonedAndTheNextOneRuns) {
    for (const char* failing : {"Locate", "Load", "Register", "Icon"}) {
        SCOPED_TRACE(failing);
        RecordingSteps steps;
        steps.failing = failing;
        app::ShellState shell;
        app::RunStartup(steps, StateFor("Scale2", "C:\\Tools"), shell, "");
        EXPECT_EQ(steps.steps, kFirstSteps + "Icon; Refresh; ");
        EXPECT_TRUE(shell.trayIconShown);  // a failed icon add is not noticed
    }
}

TEST(Shutdown, RunsStepsInOrderUnderEachConditionAndPastFailures) {
    const struct {
        int line;
        bool open, icon, load;
        const char* folder;
        std::string expected;
    } rows[] = {{__LINE__, true, true, true, "C:\\Tools",
                 "CloseScale; RestoreProc; Unregister; Release; DeleteIcon; Save; "
                 "StartWithWindows(on,Scale2,C:\\Tools\\Scale2.EXE); "
                 "End; "},
                {__LINE__, false, false, false, "D:\\",
                 "RestoreProc; Unregister; Release; Save; StartWithWindows(off,Scale2,D:\\Scale2.EXE); End; "}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.line);
        for (const char* failing : {"", "CloseScale", "RestoreProc", "DeleteIcon", "Save"}) {
            RecordingSteps steps;
            steps.failing = failing;
            base::AppState state = StateFor("Scale2", r.folder);
            state.deviceOpen = r.open;
            state.settings.LoadWithWindows = r.load;
            app::ShellState shell;
            shell.trayIconShown = r.icon;
            app::RunShutdown(steps, state, shell);
            EXPECT_EQ(steps.steps, r.expected) << failing;
        }
    }
}

TEST(Identity, NameWithoutExtensionAndFolderWithoutSeparator) {
    const struct {
        int line;
        const char *path, *onDisk, *expected;
    } rows[] = {{__LINE__, "C:\\TOOLS\\SCALE2.EXE", "Scale2.exe", "Scale2 in C:\\TOOLS"},
                {__LINE__, "D:\\Pesora.exe", "", "Pesora in D:\\"},
                {__LINE__, "C:\\My Tools\\my.scale.exe", "", "my.scale in C:\\My Tools"},
                {__LINE__, "\\\\server\\share\\Pesora.exe", "", "Pesora in \\\\server\\share"}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.line);
        const app::ProgramIdentity id = app::IdentifyProgram(r.path, r.onDisk);
        EXPECT_EQ(id.exeName + " in " + id.programFolder, r.expected);
    }
}

TEST(Shell, TimerRangeTrayTipAndInstanceName) {
    EXPECT_EQ(app::TimerIntervalFromSampleRate(0), 0u);
    EXPECT_EQ(app::TimerIntervalFromSampleRate(65535), 65535u);
    EXPECT_EQ(app::TimerIntervalFromSampleRate(65536), std::nullopt);
    EXPECT_EQ(app::TimerIntervalFromSampleRate(-1), std::nullopt);
    const auto tip = app::TrayTip("Pesora");
    EXPECT_EQ(std::string(tip.data(), tip.size()), std::string("Pesora\0", 7) + std::string(57, ' '));
    const auto longTip = app::TrayTip(std::string(80, 'x'));
    EXPECT_EQ(std::string(longTip.data(), longTip.size()), std::string(63, 'x') + '\0');
    EXPECT_EQ(app::InstanceObjectName("SCALE2"), "Global\\Pesora.Instance.SCALE2");  // every log-on session
}

TEST(CommandLine, HideSwitchAnywhereInAnyCaseAfterTheProgramName) {
    const std::pair<const char*, bool> switches[] = {{"-h", true}, {"/x -HIDE", true}, {"abc-hx", true}, {"H", false},
                                                     {"-", false}, {"- H", false},     {"/h", false},    {"h-", false}};
    for (const auto& [arguments, hidden] : switches) {
        EXPECT_EQ(app::HasHideSwitch(arguments), hidden) << arguments;
    }
    // The program's folder is no switch.
    const std::pair<const char*, const char*> lines[] = {{"\"C:\\My-Hidden\\Pesora.exe\" H", "H"},
                                                         {"C:\\Tools\\Pesora.exe   -h", "-h"},
                                                         {"Pesora.exe\t-h", "-h"},
                                                         {"\"C:\\a b\\Pesora.exe\"/x -HIDE", "/x -HIDE"},
                                                         {"Pesora.exe", ""},
                                                         {"\"unterminated -h", ""}};
    for (const auto& [commandLine, arguments] : lines) {
        EXPECT_EQ(app::ArgumentsOf(commandLine), arguments) << commandLine;
    }
}

// A blank anywhere in the path: quoted, or C:\Program.exe would be tried first.
TEST(LaunchAtStartup, CommandIsQuotedWhenThePathHasABlank) {
    EXPECT_EQ(app::RunOnceCommand("C:\\Program Files\\My Scale", "P"), "\"C:\\Program Files\\My Scale\\P.EXE\"");
    EXPECT_EQ(app::RunOnceCommand("C:\\Tools", "Scale\t2"), "\"C:\\Tools\\Scale\t2.EXE\"");
    EXPECT_EQ(app::StartupKeyPath(false), "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
    EXPECT_EQ(app::StartupKeyPath(true), "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
}

}  // namespace

#include "app/Lifecycle.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <vector>

namespace {

// Records every step; a step named in `failing` throws after being recorded.
class RecordingSteps final : public app::IShellSteps {
  public:
    std::vector<std::string> steps;
    std::string failing;
    bool otherInstance = false;

    void Record(std::string step) {
        steps.push_back(step);
        if (step == failing) {
            throw std::runtime_error(step);
        }
    }
    bool AnotherInstanceRunning() override {
        Record("AnotherInstanceRunning");
        return otherInstance;
    }
    void ShowRefusal(const std::string& title, const std::string& text) override {
        Record("ShowRefusal(" + title + "|" + text + ")");
        if (duringRefusal) {
            duringRefusal();
        }
    }
    std::function<void()> duringRefusal;  // what arrives while the refusal box is open
    void LocateSettingsFile() override { Record("LocateSettingsFile"); }
    void SetHelpFile(const std::string& path) override { Record("SetHelpFile(" + path + ")"); }
    void SetDdeTopic(const std::string& topic) override { Record("SetDdeTopic(" + topic + ")"); }
    void CreateDeviceNotifications() override { Record("CreateDeviceNotifications"); }
    void LoadSettings() override { Record("LoadSettings"); }
    void BuildHotkeyNames() override { Record("BuildHotkeyNames"); }
    void RegisterSendHotkey() override { Record("RegisterSendHotkey"); }
    void InstallHotkeyWindowProc() override { Record("InstallHotkeyWindowProc"); }
    void HideMainWindow() override { Record("HideMainWindow"); }
    void AddTrayIcon() override { Record("AddTrayIcon"); }
    void MinimizeMainWindow() override { Record("MinimizeMainWindow"); }
    void RefreshDeviceList() override { Record("RefreshDeviceList"); }
    void CloseScaleDevice() override { Record("CloseScaleDevice"); }
    void RestoreWindowProc() override { Record("RestoreWindowProc"); }
    void UnregisterSendHotkey() override { Record("UnregisterSendHotkey"); }
    void ReleaseDeviceNotifications() override { Record("ReleaseDeviceNotifications"); }
    void DeleteTrayIcon() override { Record("DeleteTrayIcon"); }
    void SaveSettings() override { Record("SaveSettings"); }
    void SetStartWithWindows(bool enable, const std::string& name, const std::string& command) override {
        Record(std::string("SetStartWithWindows(") + (enable ? "on" : "off") + "," + name + "," + command + ")");
    }
    void EndProcess() override { Record("EndProcess"); }
};

base::AppState StateFor(const char* exeName, const char* folder) {
    base::AppState s;
    s.exeName = exeName;
    s.programFolder = folder;
    return s;
}

std::vector<std::string> StartupWith(std::vector<std::string> middle) {
    std::vector<std::string> all = {
        "AnotherInstanceRunning", "LocateSettingsFile",        "SetHelpFile(C:\\Tools\\PesoraHelp.chm)",
        "SetDdeTopic(Scale2)",    "CreateDeviceNotifications", "LoadSettings",
        "BuildHotkeyNames",       "RegisterSendHotkey",        "InstallHotkeyWindowProc"};
    all.insert(all.end(), middle.begin(), middle.end());
    all.push_back("RefreshDeviceList");
    return all;
}

TEST(Startup, RunsStepsInOrderForEachSwitchAndSetting) {
    struct Row {
        int line;
        const char* arguments;
        bool minimize;
        std::vector<std::string> middle;
        bool trayIconShown;
        bool hidden;
    } rows[] = {
        {__LINE__, "", false, {"AddTrayIcon"}, true, false},
        {__LINE__, "H", false, {"AddTrayIcon"}, true, false},
        {__LINE__, "-h", false, {"HideMainWindow"}, false, true},
        {__LINE__, "/x -HIDE", false, {"HideMainWindow"}, false, true},
        {__LINE__, "", true, {"AddTrayIcon", "MinimizeMainWindow"}, true, false},
        {__LINE__, "-H", true, {"HideMainWindow", "MinimizeMainWindow"}, false, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        RecordingSteps steps;
        base::AppState state = StateFor("Scale2", "C:\\Tools");
        state.settings.MinimizeAtStartup = r.minimize;
        app::ShellState shell;
        EXPECT_EQ(app::RunStartup(steps, state, shell, r.arguments), app::StartupOutcome::Running);
        EXPECT_EQ(steps.steps, StartupWith(r.middle));
        EXPECT_EQ(shell.trayIconShown, r.trayIconShown);
        EXPECT_EQ(shell.startHidden, r.hidden);
    }
}

TEST(Startup, SecondCopyIsRefusedWithTheExactMessageAndNothingElse) {
    RecordingSteps steps;
    steps.otherInstance = true;
    app::ShellState shell;
    EXPECT_EQ(app::RunStartup(steps, StateFor("Pesora", "C:\\Tools"), shell, ""), app::StartupOutcome::Refused);
    const std::vector<std::string> expected = {
        "AnotherInstanceRunning",
        "LocateSettingsFile",
        "LoadSettings",
        "ShowRefusal(Pesora - Error!|Pesora is already running.\r\rNote:\rIf you want to input data from multiple "
        "USB HID scales, copy the Pesora.EXE program file and save it with a different file name and then run the "
        "renamed copy and configure it for the scale that you want to input data from.\rBe sure to select a "
        "different Hotkey in the settings for each scale that you want to input data from.)",
        "EndProcess",
    };
    EXPECT_EQ(steps.steps, expected);
    EXPECT_FALSE(shell.trayIconShown);
}

// The end of the log-on (or a close message) handled by the refusal box's message loop runs
// the shutdown: a refused copy must still write and touch nothing.
TEST(Startup, RefusedCopyTouchesNothingWhateverArrivesWhileItsBoxIsOpen) {
    RecordingSteps steps;
    steps.otherInstance = true;
    base::AppState state = StateFor("Pesora", "C:\\Tools");
    state.settings.LoadWithWindows = true;
    app::ShellState shell;
    steps.duringRefusal = [&] { app::RunShutdown(steps, state, shell); };
    EXPECT_EQ(app::RunStartup(steps, state, shell, ""), app::StartupOutcome::Refused);
    ASSERT_EQ(steps.steps.size(), 7u);
    EXPECT_EQ(steps.steps[0], "AnotherInstanceRunning");
    EXPECT_EQ(steps.steps[3].substr(0, 30), "SetStartWithWindows(on,Pesora,");  // the entry Windows deleted
    EXPECT_EQ(steps.steps[4].substr(0, 12), "ShowRefusal(");
    EXPECT_EQ(steps.steps[5], "EndProcess");  // from the shutdown inside the box
    EXPECT_EQ(steps.steps[6], "EndProcess");
}

TEST(Startup, AFailingStepIsAbandonedAndTheNextOneRuns) {
    for (const char* failing : {"LocateSettingsFile", "LoadSettings", "RegisterSendHotkey", "AddTrayIcon"}) {
        SCOPED_TRACE(failing);
        RecordingSteps steps;
        steps.failing = failing;
        app::ShellState shell;
        app::RunStartup(steps, StateFor("Scale2", "C:\\Tools"), shell, "");
        EXPECT_EQ(steps.steps, StartupWith({"AddTrayIcon"}));
        EXPECT_TRUE(shell.trayIconShown);  // a failed icon add is not noticed
    }
}

TEST(Startup, HelpFileIsBesideTheProgramAlsoInADriveRoot) {
    RecordingSteps steps;
    app::ShellState shell;
    app::RunStartup(steps, StateFor("Pesora", "D:\\"), shell, "");
    EXPECT_EQ(steps.steps.at(2), "SetHelpFile(D:\\PesoraHelp.chm)");
}

TEST(Shutdown, RunsStepsInOrderUnderEachCondition) {
    struct Row {
        int line;
        bool deviceOpen;
        bool trayIconShown;
        bool loadWithWindows;
        const char* folder;
        std::vector<std::string> expected;
    } rows[] = {
        {__LINE__,
         true,
         true,
         true,
         "C:\\Tools",
         {"CloseScaleDevice", "RestoreWindowProc", "UnregisterSendHotkey", "ReleaseDeviceNotifications",
          "DeleteTrayIcon", "SaveSettings", "SetStartWithWindows(on,Scale2,C:\\Tools\\Scale2.EXE)", "EndProcess"}},
        {__LINE__,
         false,
         false,
         false,
         "D:\\",
         {"RestoreWindowProc", "UnregisterSendHotkey", "ReleaseDeviceNotifications", "SaveSettings",
          "SetStartWithWindows(off,Scale2,D:\\Scale2.EXE)", "EndProcess"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        RecordingSteps steps;
        base::AppState state = StateFor("Scale2", r.folder);
        state.deviceOpen = r.deviceOpen;
        state.settings.LoadWithWindows = r.loadWithWindows;
        app::ShellState shell;
        shell.trayIconShown = r.trayIconShown;
        app::RunShutdown(steps, state, shell);
        EXPECT_EQ(steps.steps, r.expected);
    }
}

TEST(Shutdown, SettingsAreSavedAndProcessEndsEvenWhenEarlierStepsFail) {
    for (const char* failing : {"CloseScaleDevice", "RestoreWindowProc", "DeleteTrayIcon", "SaveSettings"}) {
        SCOPED_TRACE(failing);
        RecordingSteps steps;
        steps.failing = failing;
        base::AppState state = StateFor("Pesora", "C:\\P");
        state.deviceOpen = true;
        app::ShellState shell;
        shell.trayIconShown = true;
        app::RunShutdown(steps, state, shell);
        ASSERT_EQ(steps.steps.size(), 8u);
        EXPECT_EQ(steps.steps[5], "SaveSettings");
        EXPECT_EQ(steps.steps.back(), "EndProcess");
    }
}

TEST(Identity, NameWithoutExtensionAndFolderWithoutSeparator) {
    struct Row {
        int line;
        const char* path;
        const char* onDisk;
        const char* exeName;
        const char* folder;
    } rows[] = {
        {__LINE__, "C:\\Tools\\Scale2.exe", "", "Scale2", "C:\\Tools"},
        {__LINE__, "C:\\TOOLS\\SCALE2.EXE", "Scale2.exe", "Scale2", "C:\\TOOLS"},
        {__LINE__, "D:\\Pesora.exe", "", "Pesora", "D:\\"},
        {__LINE__, "C:\\My Tools\\my.scale.exe", "", "my.scale", "C:\\My Tools"},
        {__LINE__, "\\\\server\\share\\Pesora.exe", "", "Pesora", "\\\\server\\share"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        const app::ProgramIdentity id = app::IdentifyProgram(r.path, r.onDisk);
        EXPECT_EQ(id.exeName, r.exeName);
        EXPECT_EQ(id.programFolder, r.folder);
    }
}

TEST(Timer, SampleRateBecomesIntervalOnlyWithinTheTimersRange) {
    struct Row {
        int line;
        int32_t rate;
        std::optional<uint32_t> expected;
    } rows[] = {
        {__LINE__, 50, 50u},          {__LINE__, 0, 0u},
        {__LINE__, 65535, 65535u},    {__LINE__, 65536, std::nullopt},
        {__LINE__, -1, std::nullopt}, {__LINE__, INT32_MIN, std::nullopt},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        EXPECT_EQ(app::TimerIntervalFromSampleRate(r.rate), r.expected);
    }
}

TEST(TrayIcon, TipIsCaptionZeroThenBlanks) {
    const auto tip = app::TrayTip("Pesora");
    EXPECT_EQ(std::string(tip.data(), 7), std::string("Pesora\0", 7));
    EXPECT_EQ(std::string(tip.data() + 7, 57), std::string(57, ' '));
    const auto longTip = app::TrayTip(std::string(80, 'x'));
    EXPECT_EQ(std::string(longTip.data(), 63), std::string(63, 'x'));
    EXPECT_EQ(longTip[63], '\0');
}

TEST(Instance, CopiesAreToldApartByNameOnly) {
    EXPECT_EQ(app::InstanceObjectName("SCALE2"), "Global\\Pesora.Instance.SCALE2");  // every log-on session
    EXPECT_NE(app::InstanceObjectName("SCALE2"), app::InstanceObjectName("PESORA"));
}

}  // namespace

#include "app/Lifecycle.h"

#include <algorithm>

#include "app/CommandLine.h"
#include "app/LaunchAtStartup.h"

namespace app {

namespace {

// Start-up and shutdown go on past a failing step: a missing device layer or a hotkey that
// another program owns must not keep the window from coming up or the settings from being saved.
template <typename Step>
void Try(Step&& step) noexcept {
    try {
        step();
    } catch (...) {
        // Deliberately swallowed: the step is abandoned and the sequence goes on.
    }
}

}  // namespace

ProgramIdentity IdentifyProgram(std::string_view modulePath, std::string_view onDiskName) {
    const size_t slash = modulePath.find_last_of("\\/");
    std::string_view folder = slash == std::string_view::npos ? std::string_view{} : modulePath.substr(0, slash);
    std::string_view file = slash == std::string_view::npos ? modulePath : modulePath.substr(slash + 1);
    if (!onDiskName.empty()) {
        file = onDiskName;
    }
    ProgramIdentity id;
    const size_t dot = file.find_last_of('.');
    id.exeName = std::string(dot == std::string_view::npos ? file : file.substr(0, dot));
    id.programFolder = std::string(folder);
    // A drive root keeps its separator ("D:\"), any other folder has none.
    if (id.programFolder.size() == 2 && id.programFolder[1] == ':') {
        id.programFolder += '\\';
    }
    return id;
}

std::string AlreadyRunningTitle(std::string_view exeName) {
    return std::string(exeName) + " - Error!";
}

// Lines are separated by a single carriage return, as the message has always been built.
std::string AlreadyRunningText(std::string_view exeName) {
    std::string text(exeName);
    text += " is already running.\r\rNote:\r";
    text +=
        "If you want to input data from multiple USB HID scales, copy the Pesora.EXE program file and save it with a "
        "different file name and then run the renamed copy and configure it for the scale that you want to input "
        "data from.\r";
    text += "Be sure to select a different Hotkey in the settings for each scale that you want to input data from.";
    return text;
}

// "Global\" makes the check machine-wide: the settings file is shared by every log-on session,
// so a copy of the same name in another session (fast user switching, Remote Desktop) would
// overwrite its settings or fail to write them.
std::string InstanceObjectName(std::string_view upperExeName) {
    return "Global\\Pesora.Instance." + std::string(upperExeName);
}

std::optional<uint32_t> TimerIntervalFromSampleRate(int32_t sampleRate) {
    if (sampleRate < 0 || sampleRate > 65535) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(sampleRate);
}

std::array<char, 64> TrayTip(std::string_view caption) {
    std::array<char, 64> tip;
    tip.fill(' ');
    const size_t n = std::min(caption.size(), tip.size());
    std::copy_n(caption.begin(), n, tip.begin());
    if (n < tip.size()) {
        tip[n] = '\0';
    } else {
        tip.back() = '\0';  // the shell reads a zero-terminated text
    }
    return tip;
}

StartupOutcome RunStartup(IShellSteps& steps,
                          const base::AppState& state,
                          ShellState& shell,
                          std::string_view arguments) {
    if (steps.AnotherInstanceRunning()) {
        // The window exists while the refusal box runs its message loop, so the end of the
        // log-on can reach the shutdown from inside it: marked first, the shutdown then ends the
        // process without touching the other copy's settings file or run-once entry.
        shell.refused = true;
        // Windows deletes a run-once entry before it runs it: a copy started by it at log-on
        // and refused here (the other copy may be another session's, which never writes this
        // user's entry) would leave the user without Pesora at the next log-on. Written before
        // the box, which may stay open until the log-on ends.
        Try([&] {
            steps.LocateSettingsFile();
            steps.LoadSettings();
            if (state.settings.LoadWithWindows) {
                steps.SetStartWithWindows(true, state.exeName, RunOnceCommand(state.programFolder, state.exeName));
            }
        });
        steps.ShowRefusal(AlreadyRunningTitle(state.exeName), AlreadyRunningText(state.exeName));
        steps.EndProcess();
        return StartupOutcome::Refused;
    }
    Try([&] { steps.LocateSettingsFile(); });
    Try([&] {
        std::string help = state.programFolder;
        if (!help.empty() && help.back() == '\\') {
            help.pop_back();
        }
        steps.SetHelpFile(help + "\\PesoraHelp.chm");
    });
    Try([&] { steps.SetDdeTopic(state.exeName); });
    Try([&] { steps.CreateDeviceNotifications(); });
    Try([&] { steps.LoadSettings(); });
    Try([&] { steps.BuildHotkeyNames(); });
    Try([&] { steps.RegisterSendHotkey(); });
    Try([&] { steps.InstallHotkeyWindowProc(); });
    shell.trayIconShown = true;
    if (HasHideSwitch(arguments)) {
        shell.startHidden = true;
        shell.trayIconShown = false;
        Try([&] { steps.HideMainWindow(); });
    } else {
        Try([&] { steps.AddTrayIcon(); });
    }
    if (state.settings.MinimizeAtStartup) {
        Try([&] { steps.MinimizeMainWindow(); });
    }
    Try([&] { steps.RefreshDeviceList(); });
    return StartupOutcome::Running;
}

void RunShutdown(IShellSteps& steps, const base::AppState& state, const ShellState& shell) {
    if (shell.refused) {
        steps.EndProcess();
        return;
    }
    if (state.deviceOpen) {
        Try([&] { steps.CloseScaleDevice(); });
    }
    Try([&] { steps.RestoreWindowProc(); });
    Try([&] { steps.UnregisterSendHotkey(); });
    Try([&] { steps.ReleaseDeviceNotifications(); });
    if (shell.trayIconShown) {
        Try([&] { steps.DeleteTrayIcon(); });
    }
    Try([&] { steps.SaveSettings(); });
    Try([&] {
        steps.SetStartWithWindows(state.settings.LoadWithWindows, state.exeName,
                                  RunOnceCommand(state.programFolder, state.exeName));
    });
    steps.EndProcess();
}

}  // namespace app

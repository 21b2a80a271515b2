#pragma once
// The program's start-up and shutdown: which steps run, in which order and under which
// conditions. MainWindow performs the steps; the unit tests record them.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/model/AppState.h"

namespace app {

inline constexpr std::string_view kCaption = "Pesora";
inline constexpr uint32_t kInitialTimerInterval = 200;

struct ProgramIdentity {
    std::string exeName;        // file name without extension, case as on disk
    std::string programFolder;  // no trailing "\" unless a drive root
};

// `modulePath` is the running executable's full path, `onDiskName` its file name as the file
// system spells it (empty to take the name from `modulePath`).
[[nodiscard]] ProgramIdentity IdentifyProgram(std::string_view modulePath, std::string_view onDiskName = {});

// The refusal a second copy with the same name shows.
[[nodiscard]] std::string AlreadyRunningTitle(std::string_view exeName);
[[nodiscard]] std::string AlreadyRunningText(std::string_view exeName);

// The name of the object that marks a running copy. Copies differ by executable name only, and
// file names do not differ by letter case, so the caller passes the name upper-cased.
[[nodiscard]] std::string InstanceObjectName(std::string_view upperExeName);

// The read timer's interval for a SampleRate value; nullopt when the timer cannot take it (it
// then keeps its interval). 0 is a valid interval with which the timer never ticks.
[[nodiscard]] std::optional<uint32_t> TimerIntervalFromSampleRate(int32_t sampleRate);

// The notification-area icon's tip: the caption, one zero character, blanks up to 64.
[[nodiscard]] std::array<char, 64> TrayTip(std::string_view caption);

// State of the shell itself, beside base::AppState.
struct ShellState {
    bool trayIconShown = false;  // whether the notification-area icon exists
    bool startHidden = false;    // "-H": no window, no icon
    bool refused = false;        // another copy of the name runs: this one only ends
};

// The steps, performed by the main window. A step that throws is abandoned; the next one runs.
class IShellSteps {
  public:
    virtual ~IShellSteps() = default;
    // Start-up.
    [[nodiscard]] virtual bool AnotherInstanceRunning() = 0;
    virtual void ShowRefusal(const std::string& title, const std::string& text) = 0;
    virtual void LocateSettingsFile() = 0;
    virtual void SetHelpFile(const std::string& path) = 0;
    virtual void SetDdeTopic(const std::string& topic) = 0;
    virtual void CreateDeviceNotifications() = 0;
    virtual void LoadSettings() = 0;  // gives ReadTimer its interval right after SampleRate is read
    virtual void BuildHotkeyNames() = 0;
    virtual void RegisterSendHotkey() = 0;
    virtual void InstallHotkeyWindowProc() = 0;
    virtual void HideMainWindow() = 0;
    virtual void AddTrayIcon() = 0;
    virtual void MinimizeMainWindow() = 0;
    virtual void RefreshDeviceList() = 0;
    // Shutdown.
    virtual void CloseScaleDevice() = 0;
    virtual void RestoreWindowProc() = 0;
    virtual void UnregisterSendHotkey() = 0;
    virtual void ReleaseDeviceNotifications() = 0;
    virtual void DeleteTrayIcon() = 0;
    virtual void SaveSettings() = 0;
    virtual void SetStartWithWindows(bool enable, const std::string& valueName, const std::string& command) = 0;
    virtual void EndProcess() = 0;
};

enum class StartupOutcome { Refused, Running };

// Start-up. `arguments` is the command line after the program's own name. On Refused the
// caller has nothing left to do: EndProcess has been asked for.
StartupOutcome RunStartup(IShellSteps& steps,
                          const base::AppState& state,
                          ShellState& shell,
                          std::string_view arguments);

// Shutdown, ending with EndProcess.
void RunShutdown(IShellSteps& steps, const base::AppState& state, const ShellState& shell);

}  // namespace app

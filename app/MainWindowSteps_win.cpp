// The start-up and shutdown steps as the main window carries them out; their order lives in Lifecycle.
#include "app/MainWindow_win.h"

#include <algorithm>

#include "app/LaunchAtStartup_win.h"
#include "app/SettingsStore_win.h"
#include "app/resource.h"
#include "base/win/WinText_win.h"
#include "keys/HotkeyNames.h"
#include "keys/KeyPlayer.h"

namespace app {

// A named object per executable name marks the running copy; its name is upper-cased because
// Windows file names do not differ by case (PESORA.EXE and Pesora.exe are the same program).
bool MainWindow::AnotherInstanceRunning() {
    std::wstring upper = base::win::Utf8ToWide(_state.exeName);
    if (!upper.empty()) {
        (void)::CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    }
    const std::wstring name = base::win::Utf8ToWide(InstanceObjectName(base::win::WideToUtf8(upper)));
    _instanceMarker.reset(::CreateMutexW(nullptr, FALSE, name.c_str()));
    // Another user's copy owns the object and its default security keeps us out: it runs.
    const DWORD error = ::GetLastError();
    return _instanceMarker ? error == ERROR_ALREADY_EXISTS : error == ERROR_ACCESS_DENIED;
}

void MainWindow::ShowRefusal(const std::string& title, const std::string& text) {
    (void)::MessageBoxW(nullptr, base::win::Utf8ToWide(text).c_str(), base::win::Utf8ToWide(title).c_str(), MB_OK);
}

void MainWindow::LocateSettingsFile() {
    SettingsFileSystem fs;
    _state.settingsFilePath = app::LocateSettingsFile(fs, _state.exeName);
}

void MainWindow::SetHelpFile(const std::string& path) {
    _helpFile = path;
}

void MainWindow::SetDdeTopic(const std::string& topic) {
    _ddeTopic = topic;
    (void)_dde.Start(topic, [this] { return WeightBox(); });  // without DDE the program works on
}

void MainWindow::CreateDeviceNotifications() {
    (void)_devices.StartNotifications();  // without notifications the list can still be refreshed by hand
    _devices.StartPortWatch(_hwnd, WM_APP_SERIAL_PORTS);
}

// Written at once, not at shutdown: a scale found is worth keeping even if the program is ended
// by force, and only this one key of the file changes.
void MainWindow::RememberSerialScale(const std::string& port, const std::string& entry) {
    _state.settings.SerialScales[port] = entry;
    IniFileStore store(_state.settingsFilePath);
    store.Write(kSerialScalesSection, port, entry);
    (void)store.Commit();  // a file that cannot be written keeps what it had; detection runs again next time
}

void MainWindow::LoadSettings() {
    IniFileStore file(_state.settingsFilePath);
    _settingsAsLoaded.fileText.clear();
    RecordingIniStore store(file, _settingsAsLoaded.fileText);
    app::LoadSettings(store, _state.settings, [this](int32_t sampleRate) {
        if (const auto interval = TimerIntervalFromSampleRate(sampleRate)) {
            SetTimerInterval(static_cast<int32_t>(*interval));
        }
    });
    _settingsAsLoaded.settings = _state.settings;
}

void MainWindow::BuildHotkeyNames() {
    keys::BuildHotkeyNames();
}

void MainWindow::RegisterSendHotkey() {
    if (_hotKeys) {
        _hotKeys->RegisterSendHotkey();
    }
}

void MainWindow::InstallHotkeyWindowProc() {
    if (_hotKeys) {
        _hotKeys->InstallWindowProc();
    }
}

void MainWindow::HideMainWindow() {
    ::ShowWindow(_hwnd, SW_HIDE);
}

void MainWindow::AddTrayIcon() {
    _trayIcon.Add(_hwnd, _iconSmall ? _iconSmall.get() : _iconLarge.get(), kCaption);
}

void MainWindow::MinimizeMainWindow() {
    _startMinimized = true;
}

void MainWindow::RefreshDeviceList() {
    RefreshButton_Click();
}

void MainWindow::CloseScaleDevice() {
    _devices.Selection().CloseScaleDevice();
}

void MainWindow::RestoreWindowProc() {
    if (_hotKeys) {
        _hotKeys->RemoveWindowProc();
    }
}

void MainWindow::UnregisterSendHotkey() {
    if (_hotKeys) {
        _hotKeys->UnregisterSendHotkey();
    }
}

void MainWindow::ReleaseDeviceNotifications() {
    _devices.StopNotifications();
    _dde.Stop();
}

void MainWindow::DeleteTrayIcon() {
    _trayIcon.Delete();
}

void MainWindow::SaveSettings() {
    RECT r{};
    (void)::GetWindowRect(_hwnd, &r);
    IniFileStore store(_state.settingsFilePath);
    app::SaveSettings(store, _state.settings, PixelsToTwips(r.left, _dpi), PixelsToTwips(r.top, _dpi),
                      &_settingsAsLoaded);
    (void)store.Commit();  // a file that cannot be written keeps what it had; nothing is reported
}

void MainWindow::SetStartWithWindows(bool enable, const std::string& valueName, const std::string& command) {
    (void)app::SetStartWithWindows(enable, valueName, command, /* currentUser */ true, /* everyLogOn */ false);
}

// Nothing runs after shutdown: open dialogs are not given the chance to run their own closing.
// A send cut short here (File > Exit or the end of the log-on handled in one of its pauses)
// must not leave a modifier down system-wide or Caps Lock off.
void MainWindow::EndProcess() {
    keys::EndActiveSend();
    ::ExitProcess(0);
}

}  // namespace app

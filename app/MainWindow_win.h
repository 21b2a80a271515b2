#pragma once
// MainWindow, the main window: the scale list, the zero button, the weight, the status line, the
// menu bar and the notification-area icon. It owns the program's state (base::AppState) and the read
// timer ReadTimer, runs start-up when it is created and shutdown when it is closed.
//
// Handlers carry the names of the events they serve (FileExit_Click, Form_Resize, ReadTimer_Tick...);
// HandleMessage only unpacks a message and calls one of them.
#include <windows.h>

#include <shellapi.h>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/DdeServer_win.h"
#include "app/Lifecycle.h"
#include "app/MainWindowLayout.h"
#include "app/ReadCycleMessages_win.h"
#include "app/ReadWake_win.h"
#include "app/SettingsStore.h"
#include "app/ShownText.h"
#include "app/TrayIcon_win.h"
#include "app/Version.h"
#include "base/model/AppState.h"
#include "base/win/BaseWindow_win.h"
#include "base/win/Handles_win.h"
#include "base/win/WindowSubclass_win.h"
#include "devices/ScaleDevices_win.h"
#include "dialogs/About_win.h"
#include "dialogs/Help_win.h"
#include "keys/HotKeys_win.h"
#include "keys/KbdHook.h"
#include "web/WebHost_win.h"
#include "weighing/ReadCycle.h"
#include "weighing/ReadPacer.h"

namespace app {

class MainWindow final : public base::BaseWindow<MainWindow>,
                         public devices::IScaleListView,
                         public weighing::IReadCycleView,
                         public base::IReadTimer,
                         private IShellSteps {
  public:
    MainWindow(HINSTANCE instance, ProgramIdentity identity);
    ~MainWindow() override;

    // Creates the window and its controls, runs start-up and shows the window as start-up left
    // it. False when this copy was refused (the process is ending).
    bool Create(std::string_view arguments);

    [[nodiscard]] base::AppState& State() noexcept { return _state; }
    [[nodiscard]] const ShellState& Shell() const noexcept { return _shell; }
    [[nodiscard]] HWND Control(int id) const noexcept;
    [[nodiscard]] const std::string& HelpFile() const noexcept { return _helpFile; }
    [[nodiscard]] const std::string& DdeTopic() const noexcept { return _ddeTopic; }
    [[nodiscard]] int Dpi() const noexcept { return _dpi; }

    // The views the subsystems see: the reading's lines, the read timer, the scale list.
    void SetWeightBox(std::string_view text) override;
    [[nodiscard]] std::string WeightBox() const;
    void SetStatus(std::string_view text) override;
    void SetWeightCaption(std::string_view text) override;
    void SetTimerEnabled(bool enabled) override { _pacer.SetTimerEnabled(enabled); }
    [[nodiscard]] bool TimerEnabled() const override { return _pacer.TimerEnabled(); }
    void SetTimerInterval(int32_t ms) override { _pacer.SetTimerInterval(ms); }
    [[nodiscard]] int32_t TimerInterval() const { return static_cast<int32_t>(_pacer.TimerInterval()); }
    void ClearList() override;
    void AddListRow(std::string_view text) override;
    [[nodiscard]] int ListCount() const override;
    [[nodiscard]] int ListIndex() const override;
    void SetListIndex(int index) override;
    void DoEvents() override;
    void ReadingShown(const weighing::ShownReading& reading) override;

    // The hotkey's send (WM_HOTKEY reaches it through the replacement window procedure).
    void KbdHook(int32_t hotkeyId);

  private:
    friend class base::BaseWindow<MainWindow>;

    enum UserMessages : UINT {
        WM_APP_FIRST = WM_APP,             // private messages start here
        WM_APP_REPORT_IN = WM_APP + 2,     // the scale has sent something (WM_APP + 1 is the tray icon's)
        WM_APP_SETTLED_SEND = WM_APP + 3,  // a settled weight is to be typed, outside the read cycle
        WM_APP_SERIAL_PORTS = WM_APP + 4,  // the system's serial ports changed
    };
    static constexpr UINT_PTR kReadTimerId = 1;
    static constexpr UINT_PTR kSettledTimerId = 2;  // runs only while a settled send has something due

    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
    bool RegisterWindowClass();
    void CreateControls();
    HFONT FontFor(const FontSpec& spec);
    void ShowAsStartupLeftIt();

    // Events of the window and its controls.
    void Form_Load(std::string_view arguments);
    void Form_Unload();
    void Form_Resize(UINT sizeType);
    void Form_MouseMove(int x);
    void Form_TaskbarCreated();
    void Form_Help();
    void Weight_MouseDown(int button, POINT screen);
    // The weight box's subclass: its right button opens the Edit menu.
    class WeightBoxHook final : public base::win::IWindowHook {
      public:
        explicit WeightBoxHook(MainWindow& owner) : _owner(owner) {}
        LRESULT Message(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, DWORD_PTR refData) noexcept override;

      private:
        MainWindow& _owner;
    };
    WeightBoxHook _weightBoxHook{*this};
    void OnCommand(int id, int notification);
    void FileExit_Click();
    void EditCopy_Click();
    void FileSettings_Click();
    void HelpContents_Click();
    void HelpAbout_Click();
    bool ZeroButton_Click();  // true when the zero report went to the scale
    void RefreshButton_Click();
    void ScaleList_Click();
    void Weight_Change();
    bool ReadTimer_Tick();
    void SerialPorts_Change();
    // After a read or a new choice: the zero button follows what the scale being read can do,
    // and a serial scale just found is remembered in the settings file.
    void ScaleChoice_Apply();
    bool _zeroEnabled = true;

    // IShellSteps: the start-up and shutdown steps.
    bool AnotherInstanceRunning() override;
    void ShowRefusal(const std::string& title, const std::string& text) override;
    void LocateSettingsFile() override;
    void SetHelpFile(const std::string& path) override;
    void SetDdeTopic(const std::string& topic) override;
    void CreateDeviceNotifications() override;
    void LoadSettings() override;
    void BuildHotkeyNames() override;
    void RegisterSendHotkey() override;
    void InstallHotkeyWindowProc() override;
    void HideMainWindow() override;
    void AddTrayIcon() override;
    void MinimizeMainWindow() override;
    void RefreshDeviceList() override;
    void CloseScaleDevice() override;
    void RestoreWindowProc() override;
    void UnregisterSendHotkey() override;
    void ReleaseDeviceNotifications() override;
    void DeleteTrayIcon() override;
    void SaveSettings() override;
    void RememberSerialScale(const std::string& port, const std::string& entry);
    void SetStartWithWindows(bool enable, const std::string& valueName, const std::string& command) override;
    void EndProcess() override;

    HINSTANCE _instance;
    base::AppState _state;
    ShellState _shell;
    std::string _helpFile;
    SettingsAsLoaded _settingsAsLoaded;  // what start-up read: hand edits of keys still equal to it stay
    std::string _ddeTopic = "Scale";

    int _dpi = 96;
    bool _loaded = false;          // start-up has finished; size events act from then on
    bool _unloading = false;       // shutdown runs once, whatever asked for it
    bool _startMinimized = false;  // start-up asked for the minimised state
    UINT _taskbarCreated = 0;      // registered "TaskbarCreated": the shell restarted

    base::unique_handle _instanceMarker;
    base::unique_hicon _iconLarge;
    base::unique_hicon _iconSmall;
    std::vector<std::pair<std::string, base::unique_hfont>> _fonts;
    TrayIcon _trayIcon;

    // The read cycle reaches the scale through the device side's selection object.
    class ScaleDeviceAdapter final : public weighing::IScaleDevice {
      public:
        explicit ScaleDeviceAdapter(devices::ScaleSelection& selection) : _selection(selection) {}
        void ReadInputReport(std::span<uint8_t, 8> reportBuffer, uint32_t waitMs) override {
            _selection.ReadInputReport(reportBuffer, waitMs);
        }
        void SendZeroReport() override { _selection.SendZeroReport(); }

      private:
        devices::ScaleSelection& _selection;
    };

    devices::win::ScaleDevices _devices{_state, *this, *this, *this};
    ScaleDeviceAdapter _scaleDevice{_devices.Selection()};
    // The read cycle runs when the scale has sent something new, at most once per SampleRate; a
    // report that only repeats the last one is taken by the scale's reader without the window. A
    // scale silent past the time it is asked for its current report wakes the window all the same.
    ReadWakeWin _readWake{[this] { return _devices.ReadEvent(); }, _devices.Port().AnswerEvent(),
                          static_cast<DWORD>(devices::HidInterface::kSilenceAskMs + 100),
                          [this] { return _devices.Port().AnswerAwaited(); },
                          [this] { return _devices.Port().LastHeardMs(); }};
    weighing::ReadPacer _pacer{_readWake, kInitialTimerInterval, [this] { return ReadTimer_Tick(); }};
    weighing::ReadCycle _readCycle{_state, *this, *this, _scaleDevice};
    std::unique_ptr<keys::HotkeyHostWin> _hotkeyHost;
    std::unique_ptr<keys::HotkeySender> _sender;
    std::unique_ptr<keys::HotKeys> _hotKeys;
    DdeServer _dde;
    dialogs::HelpViewer _help;
    dialogs::AboutBox _about{_state.aboutBoxOpen};
    // The controls every reading writes, kept rather than looked up each time, and what they show.
    HWND _weightBox = nullptr;
    HWND _weightLabel = nullptr;
    HWND _statusLine = nullptr;
    HWND _scaleList = nullptr;
    WeightBoxText _weightBoxText;
    ShownText _weightCaption;
    ShownText _statusLineText;
    bool _writingWeightBox = false;  // the box's change notification is then ours, not the user's
    // A tick whose read finds nothing re-opens the scale, which clears the weight box, and then
    // shows the last report again: texts set during a tick reach the box when the tick ends, so
    // the box does not blink empty and advise links are not told of the blank in between.
    int _tickDepth = 0;
    std::string _pendingWeightBox;
    ReadCycleMessages _cycleMessages;  // what a tick's message pass may run
    void ShowPendingWeightBox();

    // The local web endpoint (MainWindowWeb_win.cpp): a zero request runs the button's command.
    web::WebHost _web{PESORA_VERSION_TEXT, [this] { return ZeroButton_Click(); },
                      [this](const std::string& notice) { SetWebNotice(notice); }};
    std::string _statusCaption;             // what the scale side last put in the status line
    devices::ScaleStatusText _scaleStatus;  // with what the scale being read says of itself
    std::string _webNotice;                 // the endpoint's port, or why it has none
    void SetWebNotice(const std::string& notice);
    void ApplyWebSettings();
    void PublishWebReading();
    [[nodiscard]] web::Reading WebReadingOf(const std::string& weightText) const;

    // Only a settled weight (MainWindowSettled_win.cpp): the stable-only hotkey and hands-free send.
    struct SettledTyping {
        std::string script;
        bool handsFree = false;
        std::string text;      // the weight as shown, for the notice
        web::Reading reading;  // for the web endpoint's "sent" event
    };
    weighing::SettledSend _settled{_state.settings};
    weighing::ShownReading _lastShown;
    std::optional<SettledTyping> _settledTyping;  // decided, not yet typed
    bool MayTypeOnHotkey();
    void CarryOut(weighing::SettledSend::Action action);
    void SettledTimer_Tick();
    void SettledSend_Due();
    void ApplySettledTimer();
    void ApplyHandsFreeIndicators();
    void RefreshStatusLine();
    [[nodiscard]] std::string StatusLineText() const;
    [[nodiscard]] bool HandsFreeBlocked() const;
};

}  // namespace app

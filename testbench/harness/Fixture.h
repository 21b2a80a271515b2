#pragma once
// The end-to-end fixture every e2e program shares. The programs are built with mingw and run the
// real Pesora.exe under Wine (or Windows), observing it from outside through the Win32 API the
// way a user or another program would: files, the registry, windows and their texts, virtual
// scales, the user's keyboard, the application with the focus, DDE, the clipboard, the locale.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

// The real program's control and menu identifiers: the bench may know the whole program.
#include "app/resource.h"
#include "testbench/vscale/VScaleClient_win.h"

// Options are written with designated initializers naming only what differs from the defaults,
// e.g. Pesora({.name = "Weigh", .settings = ...}); the fields left out keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace e2e {

using namespace std::chrono_literals;
using Millis = std::chrono::milliseconds;

inline constexpr Millis kStartTimeout = 20s;  // Wine's first start of a program can be slow
inline constexpr Millis kExitTimeout = 15s;

// ---- paths, files, INI files, registry ----------------------------------------------------------
// Paths, like every text here, are UTF-8: a folder beyond the ANSI code page works too.

// The folder of Pesora.exe (<winbuild>); a program beside this test program (<winbuild>/e2e-bin).
[[nodiscard]] std::string WinBuildDir();
[[nodiscard]] std::string PesoraExe();
[[nodiscard]] std::string TestProgram(std::string_view name);
[[nodiscard]] std::string JoinPath(std::string_view folder, std::string_view name);
[[nodiscard]] std::string FolderOf(std::string_view path);  // "R:\\" for a file in a drive root

// A fresh, empty folder for one test: C:\e2e\<name> (removed first if it exists).
[[nodiscard]] std::string FreshFolder(std::string_view name);
bool MakeFolders(std::string_view path);  // like mkdir -p
bool RemoveTree(std::string_view path);   // true when gone
[[nodiscard]] bool FileExists(std::string_view path);
[[nodiscard]] bool FolderExists(std::string_view path);
[[nodiscard]] std::optional<std::string> ReadFileBytes(std::string_view path);
bool WriteFileBytes(std::string_view path, std::string_view bytes);
bool DeleteFileAt(std::string_view path);  // true when absent afterwards
// Copies `source` (default: the build's Pesora.exe) into `folder` (created as needed) as
// `fileName`; returns the new path.
[[nodiscard]] std::string InstallPesora(std::string_view folder,
                                        std::string_view fileName,
                                        std::string_view source = {});
[[nodiscard]] std::string CommonAppData();
[[nodiscard]] std::string SettingsFileFor(std::string_view exeName);  // the file a copy named so uses

// Wine's path conversions; on Windows UnixPathOf gives "" and WindowsPathOf the path unchanged.
[[nodiscard]] bool RunningUnderWine();
[[nodiscard]] std::string UnixPathOf(std::string_view windowsPath);
[[nodiscard]] std::string WindowsPathOf(std::string_view unixPath);

[[nodiscard]] std::optional<std::string> ReadIni(std::string_view path, std::string_view section, std::string_view key);
bool WriteIni(std::string_view path, std::string_view section, std::string_view key, std::string_view value);
[[nodiscard]] std::vector<std::string> ReadLines(std::string_view path);  // CR LF or LF, without line ends
// The non-blank lines of `section` (any case) in file order, trimmed, from the file's bytes.
[[nodiscard]] std::vector<std::string> IniSectionLines(std::string_view path, std::string_view section);

inline constexpr std::string_view kRunOnceKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
[[nodiscard]] std::optional<std::string> ReadRegString(HKEY root, std::string_view subKey, std::string_view name);
bool WriteRegString(HKEY root, std::string_view subKey, std::string_view name, std::string_view value);
bool DeleteRegValue(HKEY root, std::string_view subKey, std::string_view name);  // true when absent afterwards

// ---- processes and windows ------------------------------------------------------------------------

// A started program. The destructor kills it if it is still running, so a failed test never
// leaves a copy behind to refuse the next test's start.
class Process {
  public:
    Process() = default;
    Process(HANDLE process, DWORD pid) : _process(process), _pid(pid) {}
    Process(Process&& other) noexcept
        : _process(std::exchange(other._process, nullptr)), _pid(std::exchange(other._pid, 0)) {}
    Process& operator=(Process&& other) noexcept;
    ~Process();

    [[nodiscard]] bool Started() const { return _process != nullptr; }
    [[nodiscard]] DWORD Pid() const { return _pid; }
    [[nodiscard]] HANDLE Handle() const { return _process; }
    [[nodiscard]] bool Running() const { return _process && ::WaitForSingleObject(_process, 0) == WAIT_TIMEOUT; }
    // Waits for the end; the exit code, or nullopt on time-out (the process keeps running).
    std::optional<DWORD> Wait(Millis timeout = kExitTimeout);
    bool WaitOrKill(Millis timeout = kExitTimeout);  // false when it had to be killed
    void Kill();

  private:
    HANDLE _process = nullptr;
    DWORD _pid = 0;
};

// Starts `exePath` with `arguments` (the command line is "\"exePath\" arguments"), in its folder.
[[nodiscard]] Process Start(std::string_view exePath, std::string_view arguments = {});

// Polls `condition` every 20 ms until it holds or `timeout` passes; with `pump`, dispatches this
// thread's messages meanwhile (DDE advise data arrives as messages).
bool WaitUntil(const std::function<bool()>& condition, Millis timeout = kStartTimeout, bool pump = false);
inline bool PumpUntil(const std::function<bool()>& condition, Millis timeout) {
    return WaitUntil(condition, timeout, true);
}

[[nodiscard]] std::vector<HWND> TopLevelWindows(DWORD pid);  // visible or not
// A top-level window of `pid` with this exact caption (and class, when given); nullptr if none.
[[nodiscard]] HWND FindTopLevel(DWORD pid, std::string_view caption, std::string_view className = {});
[[nodiscard]] HWND WaitForWindow(DWORD pid,
                                 std::string_view caption,
                                 Millis timeout = kStartTimeout,
                                 std::string_view className = {});
// Pesora's main window: caption "Pesora", with a menu bar; nullptr as soon as the process ends.
[[nodiscard]] HWND WaitForMainWindow(const Process& process, Millis timeout = kStartTimeout);
// A message box (dialog class) of `pid` titled `title`.
[[nodiscard]] inline HWND WaitForMessageBox(DWORD pid, std::string_view title, Millis timeout = kStartTimeout) {
    return WaitForWindow(pid, title, timeout, "#32770");
}

[[nodiscard]] std::wstring Wide(std::string_view utf8);
[[nodiscard]] std::string Utf8(std::wstring_view text);
// A window's text asked for in UTF-16, so that a Unicode window of another process reads right;
// Text gives it in UTF-8.
[[nodiscard]] std::wstring WideText(HWND hwnd);
[[nodiscard]] std::string Text(HWND hwnd);
[[nodiscard]] std::string ClassName(HWND hwnd);
[[nodiscard]] inline HWND Control(HWND parent, int id) {
    return ::GetDlgItem(parent, id);
}
[[nodiscard]] inline bool Visible(HWND hwnd) {
    return ::IsWindowVisible(hwnd) != FALSE;
}
[[nodiscard]] inline bool Enabled(HWND hwnd) {
    return ::IsWindowEnabled(hwnd) != FALSE;
}
[[nodiscard]] inline bool Minimized(HWND hwnd) {
    return ::IsIconic(hwnd) != FALSE;
}
[[nodiscard]] RECT WindowRect(HWND hwnd);    // screen coordinates
[[nodiscard]] RECT ClientRectOf(HWND hwnd);  // (0, 0, w, h)
[[nodiscard]] RECT RectInParent(HWND child);

LRESULT Send(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0, Millis timeout = 5s);  // -1 when hung
inline bool Post(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
    return ::PostMessageA(hwnd, msg, wParam, lParam) != FALSE;
}
inline bool ClickMenu(HWND window, UINT commandId) {  // posted, as a menu click is
    return Post(window, WM_COMMAND, MAKEWPARAM(commandId, 0), 0);
}
inline bool CloseBox(HWND window) {  // what the close box sends
    return Post(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}
inline bool CloseMessage(HWND window) {
    return Post(window, WM_CLOSE);
}

// Menus: the texts of a menu's items ("-" for a separator) and their command ids. Wine keeps a
// menu's items in its own process, so the live menu of another process reads as empty there;
// LoadMenuFromExe gives the menu a program's resource defines (destroy it with DestroyMenu).
[[nodiscard]] std::vector<std::string> MenuItemTexts(HMENU menu);
[[nodiscard]] std::vector<UINT> MenuItemIds(HMENU menu);
[[nodiscard]] HMENU LoadMenuFromExe(std::string_view exePath, int menuId);

// A message box's text (its static text control), its buttons' texts in child order, and a
// click on its OK button (posted, so the box need not be in front).
[[nodiscard]] std::string MessageBoxText(HWND box);
[[nodiscard]] std::vector<std::string> MessageBoxButtons(HWND box);
bool PressOk(HWND box);

// ---- a virtual scale, unplugged again whatever happens --------------------------------------------

// serial (all digits keeps names the same in every Windows form), vendorId/productId,
// interfaceNumber (MI_xx), friendlyName, product, reportLength (6 or 8), intervalMs, onChangeOnly.
using ScaleOptions = vscale::PlugOptions;

class Scale {
  public:
    explicit Scale(ScaleOptions options);  // plugs (ADD_FAILURE on error)
    // serial: digits only. friendlyName defaults to "Test Scale <serial>"; interval 50 ms,
    // repeated reports.
    [[nodiscard]] static ScaleOptions Options(std::string serial,
                                              std::string friendlyName = {},
                                              uint16_t productId = 0x8003);
    Scale(const Scale&) = delete;
    Scale& operator=(const Scale&) = delete;
    ~Scale();

    [[nodiscard]] bool Plugged() const { return _plugged; }
    bool SetGrams(int grams, uint8_t status = 4) { return Set(status, /* grams */ 2, 0, static_cast<int16_t>(grams)); }
    bool Set(uint8_t status, uint8_t unit, int8_t exponent, int16_t weight);  // the report it repeats
    bool Unplug();
    bool Replug() { return _plugged = vscale::Plug(_options).ok || _plugged; }  // the same options
    // The path Pesora opens: \\?\HID#VID_0922&PID_8003#0001#{4d1e55b2-f16f-11cf-88cb-001111000030}.
    [[nodiscard]] std::string Path() const { return vscale::HidInterfacePath(_options); }
    [[nodiscard]] std::vector<std::vector<uint8_t>> Outputs() const;  // written to it since the last clear
    bool ClearOutputs() { return vscale::ClearOutputs(_options.serial).ok; }
    [[nodiscard]] std::optional<uint32_t> ReportsSent() const;  // since plugged; nothing when unplugged
    [[nodiscard]] const ScaleOptions& options() const { return _options; }

  private:
    ScaleOptions _options;
    bool _plugged = false;
};

// Wine re-reads a process's raw-input device list at most every 2 s: the one allowed fixed
// wait, after a plug that an already running Pesora must see on its next enumeration.
inline void WaitOutRawInputCache() {
    ::Sleep(2100);
}

// ---- a virtual serial scale of the bench (testbench/vserial) -------------------------------------

// The port COMn of the bench's serial scale simulator, driven over its loopback control port.
// Commands are the simulator's without the port: Do("set stable 1.25 lb"), Do("unplug").
class SerialScale {
  public:
    explicit SerialScale(std::string port) : _port(std::move(port)) {}
    SerialScale(const SerialScale&) = delete;
    SerialScale& operator=(const SerialScale&) = delete;
    ~SerialScale() { (void)Do("plug"); }  // never left unplugged for the next test

    [[nodiscard]] const std::string& Port() const { return _port; }
    [[nodiscard]] std::string Ask(std::string_view command) const;  // its answer line; "" if none
    bool Do(std::string_view command) const { return Ask(command) == "ok"; }
    bool Send(std::string_view bytes) const;  // raw bytes, sent now
    // The bytes the port received since the last ClearReceived.
    [[nodiscard]] std::string Received() const;
    bool ClearReceived() const { return Do("clear"); }

  private:
    std::string _port;
};

// ---- a copy of Pesora.exe started for a test ------------------------------------------------------

struct PesoraOptions {
    std::string name = "Pesora";    // exe name without .exe; the settings file is <name>.Ini
    std::string settings;           // the settings file's whole text ("" = no file written)
    bool keepSettingsFile = false;  // true: do not delete or rewrite an existing file
    std::string switches;           // command-line arguments, e.g. "-H"
    std::string folder;             // install folder (default C:\e2e\<name>)
    std::string source;             // the exe installed (default the build's Pesora.exe)
};

// SettingsText({{"SampleRate", "50"}}) gives "[Settings]\r\nSampleRate=50\r\n".
[[nodiscard]] std::string SettingsText(const std::vector<std::pair<std::string, std::string>>& keys);

class Pesora {
  public:
    // Installs, writes the settings, starts, waits for the main window.
    explicit Pesora(PesoraOptions options = {});
    // File > Exit if running, then waits (kills on time-out); deletes the settings file unless
    // keepSettingsFile.
    ~Pesora();

    [[nodiscard]] bool Started() const { return _process.Started() && _main != nullptr; }
    [[nodiscard]] HWND Main() const { return _main; }
    [[nodiscard]] Process& process() { return _process; }
    [[nodiscard]] std::string Exe() const { return _exe; }
    [[nodiscard]] std::string SettingsFile() const { return SettingsFileFor(_options.name); }
    [[nodiscard]] HWND Control(int id) const { return ::GetDlgItem(_main, id); }

    [[nodiscard]] std::string Weight() const { return Text(Control(IDC_WEIGHT)); }
    [[nodiscard]] std::string Caption() const { return Text(Control(IDC_WEIGHT_CAPTION)); }
    [[nodiscard]] std::string Status() const { return Text(Control(IDC_STATUS)); }
    [[nodiscard]] std::vector<std::string> Rows() const;         // the scale list's rows
    [[nodiscard]] int RowOf(std::string_view containing) const;  // -1 if none
    [[nodiscard]] int Selection() const { return static_cast<int>(Send(Control(IDC_SCALE_LIST), LB_GETCURSEL)); }

    bool WaitWeight(std::string_view text, Millis timeout = 5s) const {
        return WaitUntil([&] { return Weight() == text; }, timeout);
    }
    bool WaitStatus(std::string_view text, Millis timeout = 5s) const {
        return WaitUntil([&] { return Status() == text; }, timeout);
    }
    bool WaitRow(std::string_view row, Millis timeout = 10s) const {
        return WaitUntil([&] { return RowOf(row) >= 0; }, timeout);
    }
    bool WaitNoRow(std::string_view row, Millis timeout = 10s) const {
        return WaitUntil([&] { return RowOf(row) < 0; }, timeout);
    }

    // As the user does; sent, so the handler has run when these return.
    void ClickRow(int row);
    bool ClickRow(std::string_view containing);
    void Click(int buttonId);
    bool Menu(UINT commandId) { return ClickMenu(_main, commandId); }
    // File > Exit; success when the process ended by itself with code 0.
    ::testing::AssertionResult Exit();
    // The [Settings] value of `key` (any case), read from the file now: ANSI, UTF-8 or UTF-16.
    [[nodiscard]] std::optional<std::string> Setting(std::string_view key) const;

  private:
    PesoraOptions _options;
    std::string _exe;
    Process _process;
    HWND _main = nullptr;
};

// ---- keyboard -------------------------------------------------------------------------------------

void Key(BYTE vk, bool down);                                  // one key event, marked as this program's own
void Chord(const std::vector<BYTE>& keys, DWORD holdMs = 30);  // presses in order, releases in reverse
inline void Tap(BYTE vk) {
    Chord({vk});
}
inline void PressHotkey(BYTE vk = VK_F9, std::vector<BYTE> modifiers = {}) {
    modifiers.push_back(vk);
    Chord(modifiers, 80);
}

// Records the key events injected system-wide by anyone but this program (Key and the rest
// mark theirs), through a low-level keyboard hook on a thread of its own: what Pesora typed.
class KeyRecorder {
  public:
    struct Event {
        DWORD vk, scan, flags;  // flags: LLKHF_*, extended, injected, up
        bool up;
    };
    KeyRecorder();
    ~KeyRecorder();
    [[nodiscard]] std::vector<Event> Events() const;
    void Clear();
    [[nodiscard]] size_t Count() const { return Events().size(); }

  private:
    std::thread _thread;
    std::atomic<DWORD> _threadId{0};
};

// The application with the focus: a window with a multi-line edit box (a Unicode window),
// run by a thread of its own so that it has its own input state, as another program would.
class Target {
  public:
    explicit Target(std::string_view caption = "Target");
    ~Target();
    [[nodiscard]] HWND Window() const { return _window; }
    [[nodiscard]] HWND Edit() const { return _edit; }
    bool Focus() const;  // true once it is the foreground window
    [[nodiscard]] std::string Text() const { return e2e::Text(_edit); }
    [[nodiscard]] std::wstring WideText() const { return e2e::WideText(_edit); }
    void Clear() const { (void)::SendMessageW(_edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"")); }

  private:
    std::thread _thread;
    std::atomic<DWORD> _threadId{0};
    HWND _window = nullptr;
    HWND _edit = nullptr;
};

// ---- other programs' view -------------------------------------------------------------------------

// An APPCMD_CLIENTONLY conversation with service|topic. Advise data arrives as messages to the
// creating thread: wait for it with PumpUntil.
class DdeClient {
  public:
    DdeClient(std::string_view service, std::string_view topic);
    DdeClient(const DdeClient&) = delete;
    DdeClient& operator=(const DdeClient&) = delete;
    ~DdeClient();
    [[nodiscard]] bool Connected() const { return _conv != nullptr; }
    // CF_TEXT up to its first zero; other formats as the bytes stored. nullopt when refused.
    [[nodiscard]] std::optional<std::string> Request(std::string_view item, UINT format = CF_TEXT);
    bool StartAdvise(std::string_view item) { return Transaction(item, CF_TEXT, XTYP_ADVSTART) != nullptr; }
    [[nodiscard]] std::vector<std::string> Advised() const { return _advised; }

  private:
    static HDDEDATA CALLBACK Callback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR);
    HDDEDATA Transaction(std::string_view item, UINT format, UINT type);
    DWORD _instance = 0;
    HCONV _conv = nullptr;
    std::vector<std::string> _advised;
};

// The whole answer (status line, headers, body) to GET `path` on the loopback port; "" when
// nothing answers.
[[nodiscard]] std::string HttpGet(int port, std::string_view path);

// The clipboard's bytes in `format` as stored (the block may be rounded up), nullopt if absent.
[[nodiscard]] std::optional<std::string> ClipboardBytes(UINT format);
bool EmptyTheClipboard();

// Sets the user locale's decimal and thousands separators; restores them at destruction.
class LocaleSeparators {
  public:
    LocaleSeparators(const std::wstring& decimal, const std::wstring& thousands);
    LocaleSeparators(const LocaleSeparators&) = delete;
    LocaleSeparators& operator=(const LocaleSeparators&) = delete;
    ~LocaleSeparators();

  private:
    static constexpr LCTYPE kTypes[2] = {LOCALE_SDECIMAL, LOCALE_STHOUSAND};
    std::wstring _saved[2];
};

// NIM_MODIFY on Pesora's notification-area icon fails when there is none: it tells whether the
// icon is there. NIM_DELETE takes it away as a restarting shell does.
bool TrayIcon(HWND main, DWORD message);

// The version resource's file version, "1.0.0.0" (parts = 3: "1.0.0"); "" if none.
[[nodiscard]] std::string FileVersion(const std::string& exe, int parts = 4);
[[nodiscard]] int ScreenDpi();
// Twips at the screen's DPI, computed independently of the product: twips*dpi/1440, half up.
[[nodiscard]] inline int Px(int twips) {
    return (twips * ScreenDpi() + 720) / 1440;
}

}  // namespace e2e

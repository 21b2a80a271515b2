#pragma once
// The end-to-end harness: mingw-built test programs use it to run the real Pesora.exe under
// Wine (or Windows) and observe it from outside through the Win32 API, the way a user or
// another program would: processes, windows, controls, menus, message boxes, the settings
// file and the registry.
#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace e2e {

using namespace std::chrono_literals;
using Millis = std::chrono::milliseconds;

inline constexpr Millis kStartTimeout = 20s;  // Wine's first start of a program can be slow
inline constexpr Millis kExitTimeout = 15s;

// ---- paths and files ------------------------------------------------------------------------

// Folder of the running test program (<winbuild>/e2e-bin), and of Pesora.exe (<winbuild>).
[[nodiscard]] std::string TestBinDir();
[[nodiscard]] std::string WinBuildDir();
[[nodiscard]] std::string PesoraExe();
[[nodiscard]] std::string TestProgram(std::string_view name);  // e.g. "browser.py"
[[nodiscard]] std::string JoinPath(std::string_view folder, std::string_view name);
[[nodiscard]] std::string FolderOf(std::string_view path);
[[nodiscard]] std::string FileNameOf(std::string_view path);

// A fresh, empty folder for one test: C:\e2e\<name> (removed first if it exists).
[[nodiscard]] std::string FreshFolder(std::string_view name);
bool MakeFolders(std::string_view path);  // like mkdir -p
bool RemoveTree(std::string_view path);   // recursive delete; true when gone
[[nodiscard]] bool FileExists(std::string_view path);
[[nodiscard]] bool FolderExists(std::string_view path);
[[nodiscard]] std::optional<std::string> ReadFileBytes(std::string_view path);
bool WriteFileBytes(std::string_view path, std::string_view bytes);
bool DeleteFileAt(std::string_view path);
// Copies Pesora.exe into `folder` (created as needed) as `fileName`; returns the new path.
[[nodiscard]] std::string InstallPesora(std::string_view folder, std::string_view fileName);

// The all-users application-data folder, and the settings file a copy named `exeName` uses.
[[nodiscard]] std::string CommonAppData();
[[nodiscard]] std::string SettingsFileFor(std::string_view exeName);

// Wine path helpers: on Windows these return empty / the path unchanged.
[[nodiscard]] bool RunningUnderWine();
[[nodiscard]] std::string UnixPathOf(std::string_view windowsPath);
[[nodiscard]] std::string WindowsPathOf(std::string_view unixPath);

// ---- INI files and registry -------------------------------------------------------------------

[[nodiscard]] std::optional<std::string> ReadIni(std::string_view path, std::string_view section, std::string_view key);
bool WriteIni(std::string_view path, std::string_view section, std::string_view key, std::string_view value);
// The file's lines (CR LF or LF), without line ends.
[[nodiscard]] std::vector<std::string> ReadLines(std::string_view path);
// The keys of `section` in file order, as "key=value" lines exactly as stored.
[[nodiscard]] std::vector<std::string> IniSectionLines(std::string_view path, std::string_view section);

inline constexpr std::string_view kRunOnceKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
[[nodiscard]] std::optional<std::string> ReadRegString(HKEY root, std::string_view subKey, std::string_view name);
bool WriteRegString(HKEY root, std::string_view subKey, std::string_view name, std::string_view value);
bool DeleteRegValue(HKEY root, std::string_view subKey, std::string_view name);  // true when absent afterwards

// ---- processes ----------------------------------------------------------------------------------

// A started program. The destructor kills it if it is still running, so a failed test never
// leaves a copy behind to refuse the next test's start.
class Process {
  public:
    Process() = default;
    Process(HANDLE process, DWORD pid) : _process(process), _pid(pid) {}
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    ~Process();

    [[nodiscard]] bool Started() const { return _process != nullptr; }
    [[nodiscard]] DWORD Pid() const { return _pid; }
    [[nodiscard]] HANDLE Handle() const { return _process; }
    [[nodiscard]] bool Running() const;
    // Waits for the end; the exit code, or nullopt on time-out (the process keeps running).
    std::optional<DWORD> Wait(Millis timeout = kExitTimeout);
    // Waits; on time-out kills the process and returns false.
    bool WaitOrKill(Millis timeout = kExitTimeout);
    void Kill();

  private:
    void Close();
    HANDLE _process = nullptr;
    DWORD _pid = 0;
};

// Starts `exePath` with `arguments` (the command line is "\"exePath\" arguments").
[[nodiscard]] Process Start(std::string_view exePath,
                            std::string_view arguments = {},
                            std::string_view workingFolder = {});

// ---- windows ----------------------------------------------------------------------------------

// Polls `condition` every 20 ms until it holds or `timeout` passes.
bool WaitUntil(const std::function<bool()>& condition, Millis timeout = kStartTimeout);

// The top-level windows of process `pid` (visible or not).
[[nodiscard]] std::vector<HWND> TopLevelWindows(DWORD pid);
// A top-level window of `pid` with this exact caption (and class, when given); nullptr if none.
[[nodiscard]] HWND FindTopLevel(DWORD pid, std::string_view caption, std::string_view className = {});
// Pesora's main window: caption "Pesora", owned by `pid`, with a menu bar. Waits for it.
[[nodiscard]] HWND WaitForMainWindow(const Process& process, Millis timeout = kStartTimeout);
[[nodiscard]] HWND WaitForWindow(DWORD pid, std::string_view caption, Millis timeout = kStartTimeout);

[[nodiscard]] HWND Control(HWND parent, int id);
[[nodiscard]] std::string Text(HWND hwnd);     // WM_GETTEXT, works across processes
[[nodiscard]] std::string Caption(HWND hwnd);  // a top-level window's caption, without a message
[[nodiscard]] std::string ClassName(HWND hwnd);
[[nodiscard]] bool Visible(HWND hwnd);
[[nodiscard]] bool Enabled(HWND hwnd);
[[nodiscard]] bool Minimized(HWND hwnd);
[[nodiscard]] RECT WindowRect(HWND hwnd);    // screen coordinates
[[nodiscard]] RECT ClientRectOf(HWND hwnd);  // client coordinates (0, 0, w, h)
// A child's rectangle in its parent's client coordinates.
[[nodiscard]] RECT RectInParent(HWND child);

// UTF-8 and UTF-16; a window's text asked for in UTF-16, so that a Unicode window of another
// process reads right.
[[nodiscard]] std::wstring Wide(std::string_view utf8);
[[nodiscard]] std::string Utf8(std::wstring_view text);
[[nodiscard]] std::wstring WideText(HWND hwnd);
// A list box's rows in UTF-8, asked for in UTF-16 (see Harness.cpp).
[[nodiscard]] std::vector<std::string> ListRows(HWND listBox);
[[nodiscard]] int ListSelection(HWND listBox);  // -1 when none

LRESULT Send(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0, Millis timeout = 5s);
bool Post(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);

// Menus: the texts of a menu's items ("-" for a separator) and their command ids. Wine keeps a
// menu's items in its own process, so the live menu of another process reads as empty there;
// LoadMenuFromExe gives the menu a program's resource defines (destroy it with DestroyMenu).
[[nodiscard]] std::vector<std::string> MenuItemTexts(HMENU menu);
[[nodiscard]] std::vector<UINT> MenuItemIds(HMENU menu);
[[nodiscard]] HMENU LoadMenuFromExe(std::string_view exePath, int menuId);
bool ClickMenu(HWND window, UINT commandId);  // posts WM_COMMAND as a menu click does

// Ending Pesora the ways a user does.
bool CloseBox(HWND window);      // WM_SYSCOMMAND SC_CLOSE, as the close box sends
bool CloseMessage(HWND window);  // WM_CLOSE

// ---- message boxes of another process -------------------------------------------------------------

// A dialog-class window of `pid` titled `title`; waits for it.
[[nodiscard]] HWND WaitForMessageBox(DWORD pid, std::string_view title, Millis timeout = kStartTimeout);
// The message text (the box's static text control).
[[nodiscard]] std::string MessageBoxText(HWND box);
// The texts of its buttons, in child order.
[[nodiscard]] std::vector<std::string> MessageBoxButtons(HWND box);
bool PressOk(HWND box);

}  // namespace e2e

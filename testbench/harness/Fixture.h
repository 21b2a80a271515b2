#pragma once
// The end-to-end fixture every e2e program shares: virtual scales, a copy of Pesora started
// for a test and observed from outside, the user's keyboard, the application with the focus,
// and what other programs see (DDE, the clipboard, the locale, the version resource).
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "Harness.h"
#include "PesoraIds.h"
#include "VirtualScale.h"

namespace e2e {

// ---- text -------------------------------------------------------------------------------------

[[nodiscard]] std::wstring Wide(std::string_view utf8);
[[nodiscard]] std::string Utf8(std::wstring_view text);
// A window's text asked for in UTF-16, so that a Unicode window of another process reads right.
[[nodiscard]] std::wstring WideText(HWND hwnd);

// ---- a virtual scale, unplugged again whatever happens --------------------------------------------

class Scale {
  public:
    // Plugs in the constructor (ADD_FAILURE on error).
    explicit Scale(ScaleOptions options);
    // serial: digits only. friendlyName defaults to "Test Scale <serial>"; interval 50 ms,
    // repeated reports.
    [[nodiscard]] static ScaleOptions Options(std::string serial,
                                              std::string friendlyName = {},
                                              uint16_t productId = 0x8003);
    Scale(const Scale&) = delete;
    Scale& operator=(const Scale&) = delete;
    Scale(Scale&& other) noexcept;
    Scale& operator=(Scale&& other) noexcept;
    ~Scale();

    [[nodiscard]] bool Plugged() const { return _plugged; }
    bool SetGrams(int grams, uint8_t status = 4);  // unit 2 (g), exponent 0
    bool Set(uint8_t status, uint8_t unit, int8_t exponent, int16_t weight);
    bool Queue(const std::vector<uint8_t>& report);
    bool Unplug();
    bool Replug();  // the same options
    [[nodiscard]] std::string Path() const;
    [[nodiscard]] std::vector<std::vector<uint8_t>> Outputs() const;
    bool ClearOutputs();
    [[nodiscard]] std::optional<uint32_t> ReportsSent() const;
    [[nodiscard]] const ScaleOptions& options() const { return _options; }

  private:
    ScaleOptions _options;
    bool _plugged = false;
};

// Wine re-reads a process's raw-input device list at most every 2 s: the one allowed fixed
// wait, after a plug that an already running Pesora must see on its next enumeration.
void WaitOutRawInputCache();

// ---- a copy of Pesora.exe started for a test ------------------------------------------------------

struct PesoraOptions {
    std::string name = "Pesora";    // exe name without .exe; the settings file is <name>.Ini
    std::string settings;           // the settings file's whole text ("" = no file written)
    bool keepSettingsFile = false;  // true: do not delete or rewrite an existing file
    std::string switches;           // command-line arguments, e.g. "-H"
    std::string folder;             // install folder (default C:\e2e\<name>)
    bool waitForMainWindow = true;  // false for starts that are refused (second instance)
};

// SettingsText({{"SelectedScale", path}, {"SampleRate", "50"}}) gives
// "[Settings]\r\nSelectedScale=...\r\nSampleRate=50\r\n".
[[nodiscard]] std::string SettingsText(const std::vector<std::pair<std::string, std::string>>& keys);

class Pesora {
  public:
    // Installs, writes the settings, starts, waits for the main window.
    explicit Pesora(PesoraOptions options = {});
    Pesora(const Pesora&) = delete;
    Pesora& operator=(const Pesora&) = delete;
    // File > Exit if running, then waits (kills on time-out); deletes the settings file unless
    // keepSettingsFile.
    ~Pesora();

    [[nodiscard]] bool Started() const { return _process.Started() && _main != nullptr; }
    [[nodiscard]] HWND Main() const { return _main; }
    [[nodiscard]] Process& process() { return _process; }
    [[nodiscard]] std::string Exe() const { return _exe; }
    [[nodiscard]] std::string SettingsFile() const;
    [[nodiscard]] HWND Control(int id) const { return ::GetDlgItem(_main, id); }

    // Texts in UTF-8, read wide.
    [[nodiscard]] std::string Weight() const { return TextOf(IDC_WEIGHT); }
    [[nodiscard]] std::string Caption() const { return TextOf(IDC_WEIGHT_CAPTION); }
    [[nodiscard]] std::string Status() const { return TextOf(IDC_STATUS); }
    [[nodiscard]] std::string TextOf(int id) const { return Utf8(WideText(Control(id))); }
    [[nodiscard]] std::vector<std::string> Rows() const;         // the scale list's rows
    [[nodiscard]] int RowOf(std::string_view containing) const;  // -1 if none
    [[nodiscard]] int Selection() const;

    // Poll every 20 ms; true when the condition held before the time-out.
    bool WaitWeight(std::string_view text, Millis timeout = 5s) const;
    bool WaitStatus(std::string_view text, Millis timeout = 5s) const;
    bool WaitRow(std::string_view containing, Millis timeout = 10s) const;
    bool WaitNoRow(std::string_view containing, Millis timeout = 10s) const;

    // As the user does; sent, so the handler has run when these return.
    void ClickRow(int row);
    bool ClickRow(std::string_view containing);
    void Click(int buttonId);
    bool Menu(UINT commandId);  // posted, as a menu click is
    // File > Exit; success when the process ended by itself with code 0.
    ::testing::AssertionResult Exit();
    // The [Settings] value of `key` (case-insensitive), read from the file now.
    [[nodiscard]] std::optional<std::string> Setting(std::string_view key) const;

  private:
    PesoraOptions _options;
    std::string _exe;
    Process _process;
    HWND _main = nullptr;
};

// ---- keyboard -------------------------------------------------------------------------------------

void Key(BYTE vk, bool down);               // one key event, marked as this program's own
void Tap(BYTE vk);                          // down, up
void Chord(const std::vector<BYTE>& keys);  // presses in order, releases in reverse
// Holds the modifiers and the key a moment, as a hand does, then lets go.
void PressHotkey(BYTE vk = VK_F9, std::vector<BYTE> modifiers = {});
// Like WaitUntil, but dispatches this thread's messages while it waits (DDE advise data).
bool PumpUntil(const std::function<bool()>& condition, Millis timeout);

// Records the key events injected system-wide by anyone but this program (Key and the rest
// mark theirs), through a low-level keyboard hook on a thread of its own: what Pesora typed.
class KeyRecorder {
  public:
    struct Event {
        DWORD vk;
        DWORD scan;
        DWORD flags;  // LLKHF_*: extended, injected, up
        bool up;
    };
    KeyRecorder();
    KeyRecorder(const KeyRecorder&) = delete;
    KeyRecorder& operator=(const KeyRecorder&) = delete;
    ~KeyRecorder();
    [[nodiscard]] bool Installed() const { return _installed; }
    [[nodiscard]] std::vector<Event> Events() const;
    void Clear();
    [[nodiscard]] size_t Count() const;

  private:
    std::thread _thread;
    std::atomic<DWORD> _threadId{0};
    std::atomic<bool> _ready{false};
    std::atomic<bool> _installed{false};
};

// The application with the focus: a window with a multi-line edit box (a Unicode window),
// run by a thread of its own so that it has its own input state, as another program would.
class Target {
  public:
    explicit Target(std::string_view caption = "Target");
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;
    ~Target();
    [[nodiscard]] HWND Window() const { return _window; }
    [[nodiscard]] HWND Edit() const { return _edit; }
    bool Focus() const;  // true once it is the foreground window
    [[nodiscard]] std::string Text() const { return Utf8(WideText()); }
    [[nodiscard]] std::wstring WideText() const { return e2e::WideText(_edit); }
    void Clear() const;

  private:
    void Run();
    std::wstring _caption;
    std::thread _thread;
    std::atomic<bool> _ready{false};
    DWORD _threadId = 0;
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
    bool StartAdvise(std::string_view item);
    [[nodiscard]] std::vector<std::string> Advised() const { return _advised; }

  private:
    static HDDEDATA CALLBACK Callback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR);
    DWORD _instance = 0;
    HCONV _conv = nullptr;
    std::vector<std::string> _advised;
};

// The clipboard's bytes in `format` as stored (the block may be rounded up), nullopt if absent.
[[nodiscard]] std::optional<std::string> ClipboardBytes(UINT format);
bool EmptyTheClipboard();

// Sets the user locale's decimal and thousands separators; restores them at destruction.
class LocaleSeparators {
  public:
    LocaleSeparators(std::wstring decimal, std::wstring thousands);
    LocaleSeparators(const LocaleSeparators&) = delete;
    LocaleSeparators& operator=(const LocaleSeparators&) = delete;
    ~LocaleSeparators();

  private:
    std::wstring _decimal;
    std::wstring _thousands;
};

// The version resource's file version, "1.0.0.0" (parts = 3: "1.0.0"); "" if none.
[[nodiscard]] std::string FileVersion(const std::string& exe, int parts = 4);
[[nodiscard]] int ScreenDpi();
// Twips at the screen's DPI, computed independently of the product: twips*dpi/1440, half up.
[[nodiscard]] int Px(int twips);
// Saves what the screen shows of `window` as a BMP under <winbuild>\screenshots.
bool Screenshot(HWND window, const std::string& name);

}  // namespace e2e

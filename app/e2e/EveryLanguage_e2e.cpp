// Text beyond ASCII end to end, in the real Pesora.exe: characters that no key of the layout
// types and the symbols typed with modifiers arrive in another program exactly; the keys that
// a PC keyboard sends extended arrive with that flag and their scan codes; a settings file saved
// as UTF-16 is read and written back as UTF-16; scales with non-ASCII names are listed by their
// names; and a locale whose separators are not ASCII shows, copies, serves and types them.
//
// Wine maps every layout as US here (a faithful German or French layout cannot be set up
// under Wine 8), so the layouts themselves are tested natively; this checks what US shows.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Harness.h"
#include "VirtualScale.h"
#include "app/resource.h"

namespace {

using namespace std::chrono_literals;

constexpr char kExeName[] = "Languages";
constexpr int kTargetEditId = 100;
constexpr ULONG_PTR kOwnEventMark = 0x7E58;

e2e::ScaleOptions KitchenScale() {
    e2e::ScaleOptions options;
    options.serial = "7781";
    options.productId = 0x8381;
    options.product = "K\u00FCchenwaage 5 kg";
    // Wine does not report the product string as the bus-reported description, which names
    // the row on Windows; the device node's friendly name, which comes first, carries it here.
    options.friendlyName = options.product;
    return options;
}

e2e::ScaleOptions CjkScale() {
    e2e::ScaleOptions options;
    options.serial = "7782";
    options.productId = 0x8382;
    options.product = "\u7535\u5B50\u79E4 \u4E09\u53F7";  // "electronic scale no. 3"
    options.friendlyName = options.product;
    return options;
}

// ---- UTF-8 and UTF-16 ------------------------------------------------------------------------

std::wstring Wide(std::string_view utf8) {
    std::wstring out(utf8.size() + 1, L'\0');
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(),
                                        static_cast<int>(out.size()));
    out.resize(static_cast<size_t>(n > 0 ? n : 0));
    return out;
}

std::string Narrow(std::wstring_view text, UINT codePage) {
    if (text.empty()) {
        return {};
    }
    const int n =
        ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    (void)::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                                nullptr);
    return out;
}

std::string Utf16File(std::wstring_view text) {
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    return bytes;
}

// A window's text in full, asked in the wide form from another process.
std::wstring WideText(HWND hwnd) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) {
        return {};
    }
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    DWORD_PTR got = 0;
    (void)::SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                                5000, &got);
    text.resize(std::min<size_t>(got, text.size() - 1));
    return text;
}

std::vector<std::wstring> WideListRows(HWND list) {
    std::vector<std::wstring> rows;
    const LRESULT count = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = ::SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring row(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
        const LRESULT got =
            ::SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(row.data()));
        row.resize(got > 0 ? static_cast<size_t>(got) : 0);
        rows.push_back(row);
    }
    return rows;
}

std::optional<std::string> ClipboardBytes(UINT format) {
    std::optional<std::string> bytes;
    if (!::OpenClipboard(nullptr)) {
        return bytes;
    }
    if (HANDLE h = ::GetClipboardData(format)) {
        if (const void* p = ::GlobalLock(h)) {
            bytes = std::string(static_cast<const char*>(p), ::GlobalSize(h));
            ::GlobalUnlock(h);
        }
    }
    (void)::CloseClipboard();
    return bytes;
}

// ---- the low-level hook: every key event Pesora injects ----------------------------------------

struct SeenEvent {
    DWORD vk;
    DWORD scan;
    DWORD flags;
};
std::mutex g_seenLock;
std::vector<SeenEvent> g_seen;

LRESULT CALLBACK RecordInjected(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* info = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        if ((info->flags & LLKHF_INJECTED) != 0 && info->dwExtraInfo != kOwnEventMark) {
            const std::lock_guard lock(g_seenLock);
            g_seen.push_back({info->vkCode, info->scanCode, info->flags});
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

class InjectionRecorder {
  public:
    InjectionRecorder() {
        _thread = std::thread([this] {
            _threadId = ::GetCurrentThreadId();
            HHOOK hook = ::SetWindowsHookExW(WH_KEYBOARD_LL, &RecordInjected, ::GetModuleHandleW(nullptr), 0);
            _installed = hook != nullptr;
            _ready = true;
            MSG msg;
            while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
                ::DispatchMessageW(&msg);
            }
            if (hook != nullptr) {
                (void)::UnhookWindowsHookEx(hook);
            }
        });
        while (!_ready) {
            ::Sleep(5);
        }
    }
    ~InjectionRecorder() {
        (void)::PostThreadMessageW(_threadId, WM_QUIT, 0, 0);
        _thread.join();
    }
    bool Installed() const { return _installed; }
    static std::vector<SeenEvent> Take() {
        const std::lock_guard lock(g_seenLock);
        return std::exchange(g_seen, {});
    }

  private:
    std::thread _thread;
    std::atomic<DWORD> _threadId{0};
    std::atomic<bool> _ready{false};
    std::atomic<bool> _installed{false};
};

void Key(BYTE vk, bool down) {
    ::keybd_event(vk, static_cast<BYTE>(::MapVirtualKeyW(vk, 0)), down ? 0 : KEYEVENTF_KEYUP, kOwnEventMark);
}

void TapKey(BYTE vk) {
    Key(vk, true);
    ::Sleep(30);
    Key(vk, false);
}

bool CapsLockOn() {
    BYTE state[256] = {};
    (void)::GetKeyState(0);
    (void)::GetKeyboardState(state);
    return (state[VK_CAPITAL] & 1) != 0;
}

// ---- the fixture -----------------------------------------------------------------------------

class EveryLanguage : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::string error;
        for (const e2e::ScaleOptions& scale : {KitchenScale(), CjkScale()}) {
            ASSERT_TRUE(e2e::Plug(scale, &error)) << error;
            s_plugged.push_back(scale.serial);
        }
        ASSERT_TRUE(e2e::SetWeight(KitchenScale().serial, 4, 3, -2, 125, &error)) << error;
        ::Sleep(2500);  // Wine refreshes a process's raw-input device list at most every 2 s
        s_exe = e2e::InstallPesora(e2e::FreshFolder("every_language"), std::string(kExeName) + ".exe");
        s_target = e2e::Start(e2e::TestProgram("TargetWindow.exe"), "\"\" \"Languages Target\"");
        ASSERT_TRUE(s_target.Started());
        s_targetWindow = e2e::WaitForWindow(s_target.Pid(), "Languages Target");
        ASSERT_NE(s_targetWindow, nullptr);
        s_targetEdit = e2e::Control(s_targetWindow, kTargetEditId);
        ASSERT_NE(s_targetEdit, nullptr);
    }
    static void TearDownTestSuite() {
        if (s_targetWindow != nullptr) {
            (void)e2e::CloseMessage(s_targetWindow);
            (void)s_target.WaitOrKill(5s);
        }
        s_target = {};
        for (const std::string& serial : s_plugged) {
            (void)e2e::Unplug(serial);
        }
        (void)e2e::DeleteFileAt(e2e::SettingsFileFor(kExeName));
    }

    void TearDown() override {
        ExitPesora();
        (void)e2e::SetWeight(KitchenScale().serial, 4, 3, -2, 125);  // the reading the next test expects
        if (_capsTurnedOn && CapsLockOn()) {
            TapKey(VK_CAPITAL);
        }
    }

    void ExitPesora() {
        if (_main != nullptr && _pesora.Running()) {
            (void)e2e::ClickMenu(_main, IDM_EXIT);
            EXPECT_TRUE(_pesora.WaitOrKill()) << "Pesora did not end after File > Exit";
        }
        _pesora.Kill();
        _main = nullptr;
    }

    // Starts Pesora on the settings file `fileBytes`; waits for the Weight box to show `shown`.
    void StartPesora(const std::string& fileBytes, const std::wstring& shown) {
        const std::string ini = e2e::SettingsFileFor(kExeName);
        ASSERT_TRUE(e2e::MakeFolders(e2e::FolderOf(ini)));
        ASSERT_TRUE(e2e::WriteFileBytes(ini, fileBytes));
        _pesora = e2e::Start(s_exe);
        ASSERT_TRUE(_pesora.Started());
        _main = e2e::WaitForMainWindow(_pesora);
        ASSERT_NE(_main, nullptr);
        HWND weight = e2e::Control(_main, IDC_WEIGHT);
        ASSERT_TRUE(e2e::WaitUntil([&] { return WideText(weight) == shown; }, 10s))
            << "Weight box shows '" << Narrow(WideText(weight), CP_UTF8) << "'";
    }

    // Presses F9 with the target in front; the target ends up with exactly `expected`.
    ::testing::AssertionResult TypeInto(const std::wstring& expected) {
        (void)e2e::Send(s_targetEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
        if (!e2e::WaitUntil(
                [&] {
                    (void)::SetForegroundWindow(s_targetWindow);
                    return ::GetForegroundWindow() == s_targetWindow;
                },
                5s)) {
            return ::testing::AssertionFailure() << "target not in front";
        }
        (void)InjectionRecorder::Take();
        Key(VK_F9, true);
        ::Sleep(80);
        Key(VK_F9, false);
        std::wstring seen;
        (void)e2e::WaitUntil(
            [&] {
                seen = WideText(s_targetEdit);
                return seen == expected;
            },
            10s);
        ::Sleep(300);  // anything typed beyond it must show
        seen = WideText(s_targetEdit);
        if (seen != expected) {
            return ::testing::AssertionFailure()
                   << "target has '" << Narrow(seen, CP_UTF8) << "', expected '" << Narrow(expected, CP_UTF8) << "'";
        }
        return ::testing::AssertionSuccess();
    }

    static inline std::vector<std::string> s_plugged;
    static inline std::string s_exe;
    static inline e2e::Process s_target;
    static inline HWND s_targetWindow = nullptr;
    static inline HWND s_targetEdit = nullptr;

    e2e::Process _pesora;
    HWND _main = nullptr;
    bool _capsTurnedOn = false;
    InjectionRecorder _recorder;
};

std::wstring SettingsLines(const std::map<std::wstring, std::wstring>& settings) {
    std::wstring text = L"[Settings]\r\n";
    for (const auto& [key, value] : settings) {
        text += key + L"=" + value + L"\r\n";
    }
    return text;
}

// Characters without a key on the layout, symbols, and keys read by their scan codes, from a
// settings file saved as UTF-16; the file stays UTF-16 with its foreign lines.
TEST_F(EveryLanguage, TypesEveryCharacterAndKeepsTheUtf16SettingsFile) {
    ASSERT_TRUE(_recorder.Installed());
    const std::wstring foreign = L"; Notizen f\u00FCr die Waage \u2013 \u6CE8\u91CA\r\n";
    const std::wstring preamble = L"\u00E4\u20AC\u00DF\u4E2D{{}{}}[]\\@";
    const std::string file = Utf16File(foreign + SettingsLines({{L"SelectedScale", Wide(e2e::HidPath(KitchenScale()))},
                                                                {L"InterCharacterDelay", L"0"},
                                                                {L"Preamble", preamble},
                                                                {L"Postamble", L"{LEFT}{DEL}{HOME}"}}));
    StartPesora(file, L"1.25 kg");
    if (HasFatalFailure()) {
        return;
    }
    if (!CapsLockOn()) {
        TapKey(VK_CAPITAL);
        _capsTurnedOn = true;
    }
    ASSERT_TRUE(e2e::WaitUntil([] { return CapsLockOn(); }, 2s));
    // Left onto the "g", Delete takes it away, Home goes to the start.
    EXPECT_TRUE(TypeInto(L"\u00E4\u20AC\u00DF\u4E2D{}[]\\@1.25 k"));
    EXPECT_TRUE(CapsLockOn()) << "Caps Lock is not on again after the send";

    const std::vector<SeenEvent> seen = InjectionRecorder::Take();
    std::wstring unicode;  // a press and a release each
    std::map<DWORD, SeenEvent> firstOf;
    for (const SeenEvent& e : seen) {
        if (e.vk == VK_PACKET) {
            unicode += static_cast<wchar_t>(e.scan);
        } else {
            firstOf.try_emplace(e.vk, e);
        }
    }
    // Only the characters that no US key types went as Unicode events; the symbols went as keys.
    EXPECT_EQ(Narrow(unicode, CP_UTF8), "\u00E4\u00E4\u20AC\u20AC\u00DF\u00DF\u4E2D\u4E2D");
    struct Expected {
        int line;
        DWORD vk;
        DWORD scan;
        bool extended;
    };
    const Expected keys[] = {
        {__LINE__, VK_LEFT, 0x4B, true},     {__LINE__, VK_DELETE, 0x53, true}, {__LINE__, VK_HOME, 0x47, true},
        {__LINE__, VK_CAPITAL, 0x3A, false}, {__LINE__, VK_OEM_4, 0x1A, false},  // "[" and "{"
        {__LINE__, '2', 0x03, false},                                            // "@" is Shift+2
    };
    for (const Expected& k : keys) {
        SCOPED_TRACE(k.line);
        const auto it = firstOf.find(k.vk);
        ASSERT_NE(it, firstOf.end()) << "no event for key " << k.vk;
        EXPECT_EQ(it->second.scan, k.scan);
        EXPECT_EQ((it->second.flags & LLKHF_EXTENDED) != 0, k.extended);
    }

    ExitPesora();
    const std::optional<std::string> after = e2e::ReadFileBytes(e2e::SettingsFileFor(kExeName));
    ASSERT_TRUE(after.has_value());
    ASSERT_GE(after->size(), 2u);
    EXPECT_EQ(after->substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(after->size() % 2, 0u) << "bytes of another encoding were appended";
    const std::wstring text(reinterpret_cast<const wchar_t*>(after->data() + 2), (after->size() - 2) / 2);
    EXPECT_EQ(text.rfind(foreign, 0), 0u) << "the foreign line is gone";
    EXPECT_NE(text.find(L"\r\nPreamble=" + preamble + L"\r\n"), std::wstring::npos);
    EXPECT_NE(text.find(L"\r\nWindowLeft="), std::wstring::npos) << "shutdown wrote nothing";
}

// An ANSI file keeps every byte: a preamble of all the bytes from 0x80 to 0xFF (the ones the
// code page leaves undefined included) and a foreign line are the same after a run that
// reads the preamble and writes every setting back.
TEST_F(EveryLanguage, AnsiSettingsFileKeepsItsHighBytes) {
    std::string high;
    for (int b = 0x80; b <= 0xFF; ++b) {
        high += static_cast<char>(b);
    }
    const std::string foreign = "; \xC4nderungen \x80 \x81\r\n";
    const std::string preambleLine = "Preamble=" + high + "\r\n";
    StartPesora(foreign + "[Settings]\r\nSelectedScale=" + e2e::HidPath(KitchenScale()) + "\r\n" + preambleLine,
                L"1.25 kg");
    if (HasFatalFailure()) {
        return;
    }
    ExitPesora();
    const std::optional<std::string> after = e2e::ReadFileBytes(e2e::SettingsFileFor(kExeName));
    ASSERT_TRUE(after.has_value());
    EXPECT_EQ(after->rfind(foreign, 0), 0u) << "the foreign line changed";
    EXPECT_NE(after->find("\r\n" + preambleLine), std::string::npos) << "the preamble's bytes changed";
    EXPECT_NE(after->find("\r\nWindowLeft="), std::string::npos) << "shutdown wrote nothing";
    EXPECT_NE(after->substr(0, 2), "\xFF\xFE");
}

// The rows carry the product strings the scales report, whatever their script.
TEST_F(EveryLanguage, ListShowsNonAsciiScaleNames) {
    StartPesora(Narrow(SettingsLines({{L"SelectedScale", Wide(e2e::HidPath(KitchenScale()))}}), CP_ACP), L"1.25 kg");
    if (HasFatalFailure()) {
        return;
    }
    HWND list = e2e::Control(_main, IDC_SCALE_LIST);
    const std::wstring names[] = {Wide(KitchenScale().product), Wide(CjkScale().product)};
    for (const std::wstring& name : names) {
        SCOPED_TRACE(Narrow(name, CP_UTF8));
        std::vector<std::wstring> rows;
        const bool found = e2e::WaitUntil(
            [&] {
                rows = WideListRows(list);
                for (const std::wstring& row : rows) {
                    if (row.rfind(name, 0) == 0) {
                        return true;
                    }
                }
                return false;
            },
            10s);
        std::string all;
        for (const std::wstring& row : rows) {
            all += "'" + Narrow(row, CP_UTF8) + "' ";
        }
        EXPECT_TRUE(found) << "rows: " << all;
    }
}

// Separators the ANSI code page may lack (U+202F) reach the Weight box, the clipboard's
// Unicode text and the keys typed exactly; CF_TEXT and DDE carry the code page's form. The
// decimal separator is the program's own choice (CommaSeparator), whatever the locale's.
class SavedSeparators {
  public:
    SavedSeparators() : _decimal(Value(LOCALE_SDECIMAL)), _thousands(Value(LOCALE_STHOUSAND)) {}
    ~SavedSeparators() {
        (void)::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, _decimal.c_str());
        (void)::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, _thousands.c_str());
    }

  private:
    static std::wstring Value(LCTYPE type) {
        wchar_t value[16] = {};
        (void)::GetLocaleInfoW(LOCALE_USER_DEFAULT, type, value, 16);
        return value;
    }
    std::wstring _decimal;
    std::wstring _thousands;
};

struct DdeRequest {
    static HDDEDATA CALLBACK Callback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) { return nullptr; }
    // The CF_TEXT bytes of `item`, or nullopt.
    static std::optional<std::string> Get(const char* service, const char* topic, const char* item) {
        DWORD instance = 0;
        if (::DdeInitializeA(&instance, &Callback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
            return std::nullopt;
        }
        std::optional<std::string> result;
        HSZ s = ::DdeCreateStringHandleA(instance, service, CP_WINANSI);
        HSZ t = ::DdeCreateStringHandleA(instance, topic, CP_WINANSI);
        HSZ i = ::DdeCreateStringHandleA(instance, item, CP_WINANSI);
        if (HCONV conv = ::DdeConnect(instance, s, t, nullptr)) {
            if (HDDEDATA data = ::DdeClientTransaction(nullptr, 0, conv, i, CF_TEXT, XTYP_REQUEST, 5000, nullptr)) {
                const DWORD n = ::DdeGetData(data, nullptr, 0, 0);
                std::string text(n, '\0');
                (void)::DdeGetData(data, reinterpret_cast<LPBYTE>(text.data()), n, 0);
                result = std::string(text.c_str());
                (void)::DdeFreeDataHandle(data);
            }
            (void)::DdeDisconnect(conv);
        }
        (void)::DdeFreeStringHandle(instance, s);
        (void)::DdeFreeStringHandle(instance, t);
        (void)::DdeFreeStringHandle(instance, i);
        (void)::DdeUninitialize(instance);
        return result;
    }
};

TEST_F(EveryLanguage, LocaleSeparatorsArriveEverywhere) {
    const SavedSeparators saved;
    ASSERT_TRUE(::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, L"\u202F"));
    ASSERT_TRUE(::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, L","));
    ASSERT_TRUE(e2e::SetWeight(KitchenScale().serial, 4, 3, -1, 12345));
    const std::wstring weight = L"1\u202F234.50 kg";
    StartPesora(Narrow(SettingsLines({{L"SelectedScale", Wide(e2e::HidPath(KitchenScale()))},
                                      {L"InterCharacterDelay", L"0"},
                                      {L"WeightFormat", L"#,##0.00"}}),
                       CP_ACP),
                weight);
    if (HasFatalFailure()) {
        return;
    }
    const std::string ansi = Narrow(weight, CP_ACP);

    ASSERT_TRUE(::OpenClipboard(nullptr));
    (void)::EmptyClipboard();
    (void)::CloseClipboard();
    ASSERT_TRUE(e2e::ClickMenu(_main, IDM_EDITCOPY));
    ASSERT_TRUE(e2e::WaitUntil([] { return ::IsClipboardFormatAvailable(CF_UNICODETEXT) != FALSE; }, 5s));
    const std::optional<std::string> unicode = ClipboardBytes(CF_UNICODETEXT);
    ASSERT_TRUE(unicode.has_value());
    EXPECT_EQ(Narrow(reinterpret_cast<const wchar_t*>(unicode->c_str()), CP_UTF8), Narrow(weight, CP_UTF8));
    const std::optional<std::string> text = ClipboardBytes(CF_TEXT);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(std::string(text->c_str()), ansi);

    EXPECT_EQ(DdeRequest::Get("Pesora", kExeName, "Weight"), std::optional<std::string>(ansi));

    EXPECT_TRUE(TypeInto(weight));
}

}  // namespace

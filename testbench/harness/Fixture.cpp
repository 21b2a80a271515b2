#include "Fixture.h"

#include <algorithm>
#include <cctype>
#include <mutex>

namespace e2e {

namespace {

// Marks the key events this program injects, so that the recorder tells them from Pesora's.
constexpr ULONG_PTR kOwnEventMark = 0x7E57;

bool SameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

LRESULT SendW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(hwnd, msg, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result)) {
        return -1;
    }
    return static_cast<LRESULT>(result);
}

}  // namespace

// ---- text -------------------------------------------------------------------------------------

std::wstring Wide(std::string_view utf8) {
    if (utf8.empty()) {
        return {};
    }
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    (void)::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string Utf8(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    (void)::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                                nullptr);
    return out;
}

std::wstring WideText(HWND hwnd) {
    const LRESULT length = SendW(hwnd, WM_GETTEXTLENGTH, 0, 0);
    if (length < 0) {
        return {};
    }
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT got = SendW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(got > 0 ? std::min(static_cast<size_t>(got), text.size() - 1) : 0);
    return text;
}

// ---- a virtual scale ------------------------------------------------------------------------------

Scale::Scale(ScaleOptions options) : _options(std::move(options)) {
    std::string error;
    _plugged = Plug(_options, &error);
    if (!_plugged) {
        ADD_FAILURE() << "plugging scale " << _options.serial << ": " << error;
    }
}

ScaleOptions Scale::Options(std::string serial, std::string friendlyName, uint16_t productId) {
    ScaleOptions options;
    options.friendlyName = friendlyName.empty() ? "Test Scale " + serial : std::move(friendlyName);
    options.serial = std::move(serial);
    options.productId = productId;
    options.intervalMs = 50;
    return options;
}

Scale::Scale(Scale&& other) noexcept : _options(other._options), _plugged(std::exchange(other._plugged, false)) {}

Scale& Scale::operator=(Scale&& other) noexcept {
    if (this != &other) {
        if (_plugged) {
            (void)e2e::Unplug(_options.serial);
        }
        _options = other._options;
        _plugged = std::exchange(other._plugged, false);
    }
    return *this;
}

Scale::~Scale() {
    if (_plugged) {
        (void)e2e::Unplug(_options.serial);
    }
}

bool Scale::SetGrams(int grams, uint8_t status) {
    return Set(status, /* grams */ 2, 0, static_cast<int16_t>(grams));
}

bool Scale::Set(uint8_t status, uint8_t unit, int8_t exponent, int16_t weight) {
    return SetWeight(_options.serial, status, unit, exponent, weight);
}

bool Scale::Queue(const std::vector<uint8_t>& report) {
    return e2e::Queue(_options.serial, report);
}

bool Scale::Unplug() {
    const bool ok = e2e::Unplug(_options.serial);
    _plugged = _plugged && !ok;
    return ok;
}

bool Scale::Replug() {
    _plugged = Plug(_options) || _plugged;
    return _plugged;
}

std::string Scale::Path() const {
    return HidPath(_options);
}

std::vector<std::vector<uint8_t>> Scale::Outputs() const {
    return e2e::Outputs(_options.serial);
}

bool Scale::ClearOutputs() {
    return e2e::ClearOutputs(_options.serial);
}

std::optional<uint32_t> Scale::ReportsSent() const {
    return e2e::ReportsSent(_options.serial);
}

void WaitOutRawInputCache() {
    ::Sleep(2100);
}

// ---- a copy of Pesora.exe ---------------------------------------------------------------------------

std::string SettingsText(const std::vector<std::pair<std::string, std::string>>& keys) {
    std::string text = "[Settings]\r\n";
    for (const auto& [key, value] : keys) {
        text += key + "=" + value + "\r\n";
    }
    return text;
}

Pesora::Pesora(PesoraOptions options) : _options(std::move(options)) {
    const std::string folder =
        _options.folder.empty() ? FreshFolder(_options.name) : (MakeFolders(_options.folder), _options.folder);
    _exe = InstallPesora(folder, _options.name + ".exe");
    if (_exe.empty()) {
        ADD_FAILURE() << "could not install Pesora into " << folder;
        return;
    }
    const std::string ini = SettingsFile();
    if (!_options.keepSettingsFile) {
        (void)DeleteFileAt(ini);
        if (!_options.settings.empty()) {
            (void)MakeFolders(FolderOf(ini));
            if (!WriteFileBytes(ini, _options.settings)) {
                ADD_FAILURE() << "could not write " << ini;
            }
        }
    }
    _process = Start(_exe, _options.switches);
    if (_process.Started() && _options.waitForMainWindow) {
        _main = WaitForMainWindow(_process);
    }
}

Pesora::~Pesora() {
    if (_process.Running() && _main != nullptr) {
        (void)ClickMenu(_main, IDM_EXIT);
    }
    (void)_process.WaitOrKill();
    if (!_options.keepSettingsFile) {
        (void)DeleteFileAt(SettingsFile());
    }
}

std::string Pesora::SettingsFile() const {
    return SettingsFileFor(_options.name);
}

// Asked in UTF-16: the list is a Unicode window, and Wine hands its rows to an ANSI asker from
// another process unconverted, twice as long as the length it reported. The buffer is far
// larger than any row, so a list rebuilt between the two questions cannot overrun it.
std::vector<std::string> Pesora::Rows() const {
    std::vector<std::string> rows;
    HWND list = Control(IDC_SCALE_LIST);
    const LRESULT count = SendW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        if (length < 0 || length >= 1024) {
            continue;
        }
        std::wstring text(4096, L'\0');
        const LRESULT got = SendW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        text.resize(got > 0 && got < 4096 ? static_cast<size_t>(got) : 0);
        rows.push_back(Utf8(text));
    }
    return rows;
}

int Pesora::RowOf(std::string_view containing) const {
    const std::vector<std::string> rows = Rows();
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].find(containing) != std::string::npos) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int Pesora::Selection() const {
    return ListSelection(Control(IDC_SCALE_LIST));
}

bool Pesora::WaitWeight(std::string_view text, Millis timeout) const {
    return WaitUntil([&] { return Weight() == text; }, timeout);
}

bool Pesora::WaitStatus(std::string_view text, Millis timeout) const {
    return WaitUntil([&] { return Status() == text; }, timeout);
}

bool Pesora::WaitRow(std::string_view containing, Millis timeout) const {
    return WaitUntil([&] { return RowOf(containing) >= 0; }, timeout);
}

bool Pesora::WaitNoRow(std::string_view containing, Millis timeout) const {
    return WaitUntil([&] { return RowOf(containing) < 0; }, timeout);
}

// What a click on a row does: the list box selects it and tells its parent.
void Pesora::ClickRow(int row) {
    HWND list = Control(IDC_SCALE_LIST);
    (void)Send(list, LB_SETCURSEL, static_cast<WPARAM>(row));
    (void)Send(_main, WM_COMMAND, MAKEWPARAM(IDC_SCALE_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

bool Pesora::ClickRow(std::string_view containing) {
    const int row = RowOf(containing);
    if (row < 0) {
        return false;
    }
    ClickRow(row);
    return true;
}

// Hidden buttons (Refresh Device List) still take their command.
void Pesora::Click(int buttonId) {
    (void)Send(_main, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(Control(buttonId)));
}

bool Pesora::Menu(UINT commandId) {
    return ClickMenu(_main, commandId);
}

::testing::AssertionResult Pesora::Exit() {
    if (_main == nullptr || !ClickMenu(_main, IDM_EXIT)) {
        return ::testing::AssertionFailure() << "no main window to exit";
    }
    const auto code = _process.Wait();
    if (!code) {
        _process.Kill();
        return ::testing::AssertionFailure() << "did not end after File > Exit";
    }
    if (*code != 0) {
        return ::testing::AssertionFailure() << "ended with code " << *code;
    }
    return ::testing::AssertionSuccess();
}

// Read from the bytes, so that a UTF-16 file reads as well as an ANSI one.
std::optional<std::string> Pesora::Setting(std::string_view key) const {
    std::optional<std::string> bytes = ReadFileBytes(SettingsFile());
    if (!bytes) {
        return std::nullopt;
    }
    std::string text = *bytes;
    if (text.size() >= 2 && text[0] == '\xFF' && text[1] == '\xFE') {
        text = Utf8(std::wstring_view(reinterpret_cast<const wchar_t*>(bytes->data() + 2), (bytes->size() - 2) / 2));
    }
    bool inSettings = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        const std::string_view line = Trimmed(std::string_view(text).substr(start, end - start));
        start = end + 1;
        if (!line.empty() && line.front() == '[') {
            inSettings = SameNoCase(line.substr(1, line.find(']') - 1), "Settings");
            continue;
        }
        const size_t eq = line.find('=');
        if (inSettings && eq != std::string_view::npos && SameNoCase(Trimmed(line.substr(0, eq)), key)) {
            return std::string(Trimmed(line.substr(eq + 1)));
        }
    }
    return std::nullopt;
}

// ---- keyboard -------------------------------------------------------------------------------------

void Key(BYTE vk, bool down) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    const bool extended = (vk >= VK_PRIOR && vk <= VK_DELETE) || vk == VK_RCONTROL || vk == VK_RMENU || vk == VK_LWIN ||
                          vk == VK_RWIN || vk == VK_DIVIDE || vk == VK_NUMLOCK;
    input.ki.dwFlags = (down ? 0 : KEYEVENTF_KEYUP) | (extended ? KEYEVENTF_EXTENDEDKEY : 0);
    input.ki.dwExtraInfo = kOwnEventMark;
    (void)::SendInput(1, &input, sizeof input);
}

void Tap(BYTE vk) {
    Key(vk, true);
    ::Sleep(30);
    Key(vk, false);
}

void Chord(const std::vector<BYTE>& keys) {
    for (BYTE vk : keys) {
        Key(vk, true);
        ::Sleep(30);  // the receiving thread sees the modifiers down before the next key
    }
    for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
        Key(*it, false);
        ::Sleep(30);
    }
}

void PressHotkey(BYTE vk, std::vector<BYTE> modifiers) {
    for (BYTE m : modifiers) {
        Key(m, true);
    }
    Key(vk, true);
    ::Sleep(80);  // a real press lasts a moment; the send must wait for the release
    Key(vk, false);
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) {
        Key(*it, false);
    }
}

bool PumpUntil(const std::function<bool()>& condition, Millis timeout) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (condition()) {
            return true;
        }
        if (::GetTickCount() - start >= static_cast<DWORD>(timeout.count())) {
            return false;
        }
        (void)::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

// The hook procedure has no context of its own: the events go to one shared list.
namespace {
std::mutex g_keysLock;
std::vector<KeyRecorder::Event> g_keys;

LRESULT CALLBACK RecordInjected(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* info = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        if ((info->flags & LLKHF_INJECTED) != 0 && info->dwExtraInfo != kOwnEventMark) {
            const std::lock_guard lock(g_keysLock);
            g_keys.push_back({info->vkCode, info->scanCode, info->flags, (info->flags & LLKHF_UP) != 0});
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}
}  // namespace

// The system calls a low-level hook on the thread that set it, which must pump messages.
KeyRecorder::KeyRecorder() {
    Clear();
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
    if (!_installed) {
        ADD_FAILURE() << "no low-level keyboard hook";
    }
}

KeyRecorder::~KeyRecorder() {
    (void)::PostThreadMessageW(_threadId, WM_QUIT, 0, 0);
    _thread.join();
}

std::vector<KeyRecorder::Event> KeyRecorder::Events() const {
    const std::lock_guard lock(g_keysLock);
    return g_keys;
}

void KeyRecorder::Clear() {
    const std::lock_guard lock(g_keysLock);
    g_keys.clear();
}

size_t KeyRecorder::Count() const {
    const std::lock_guard lock(g_keysLock);
    return g_keys.size();
}

// ---- the application with the focus ------------------------------------------------------------

Target::Target(std::string_view caption) : _caption(Wide(caption)) {
    _thread = std::thread([this] { Run(); });
    while (!_ready) {
        ::Sleep(10);
    }
}

Target::~Target() {
    (void)::PostThreadMessageW(_threadId, WM_QUIT, 0, 0);
    _thread.join();
}

void Target::Run() {
    _threadId = ::GetCurrentThreadId();
    _window = ::CreateWindowExW(0, L"STATIC", _caption.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400, 200,
                                /* hWndParent */ nullptr, /* hMenu */ nullptr, ::GetModuleHandleW(nullptr),
                                /* lpParam */ nullptr);
    _edit =
        ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_WANTRETURN, 0, 0, 380, 150,
                          _window, reinterpret_cast<HMENU>(100), ::GetModuleHandleW(nullptr), /* lpParam */ nullptr);
    (void)::SetForegroundWindow(_window);
    (void)::SetFocus(_edit);
    _ready = true;
    MSG msg{};
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    ::DestroyWindow(_window);
}

bool Target::Focus() const {
    (void)::SetForegroundWindow(_window);
    return WaitUntil([&] { return ::GetForegroundWindow() == _window; }, 3s);
}

void Target::Clear() const {
    (void)SendW(_edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
}

// ---- DDE --------------------------------------------------------------------------------------------

namespace {
std::vector<DdeClient*> g_ddeClients;  // DDEML callbacks carry no context: advise data is matched by conversation
}  // namespace

HDDEDATA CALLBACK DdeClient::Callback(UINT type, UINT, HCONV conv, HSZ, HSZ, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
    if (type != XTYP_ADVDATA) {
        return nullptr;
    }
    std::string text;
    if (data != nullptr) {
        const DWORD n = ::DdeGetData(data, nullptr, 0, 0);
        text.assign(n, '\0');
        (void)::DdeGetData(data, reinterpret_cast<LPBYTE>(text.data()), n, 0);
        text = text.c_str();
    }
    for (DdeClient* client : g_ddeClients) {
        if (client->_conv == conv) {
            client->_advised.push_back(text);
        }
    }
    return reinterpret_cast<HDDEDATA>(DDE_FACK);
}

DdeClient::DdeClient(std::string_view service, std::string_view topic) {
    if (::DdeInitializeA(&_instance, &Callback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
        _instance = 0;
        return;
    }
    g_ddeClients.push_back(this);
    HSZ s = ::DdeCreateStringHandleA(_instance, std::string(service).c_str(), CP_WINANSI);
    HSZ t = ::DdeCreateStringHandleA(_instance, std::string(topic).c_str(), CP_WINANSI);
    _conv = ::DdeConnect(_instance, s, t, nullptr);
    (void)::DdeFreeStringHandle(_instance, s);
    (void)::DdeFreeStringHandle(_instance, t);
}

DdeClient::~DdeClient() {
    g_ddeClients.erase(std::remove(g_ddeClients.begin(), g_ddeClients.end(), this), g_ddeClients.end());
    if (_conv != nullptr) {
        (void)::DdeDisconnect(_conv);
    }
    if (_instance != 0) {
        (void)::DdeUninitialize(_instance);
    }
}

std::optional<std::string> DdeClient::Request(std::string_view item, UINT format) {
    if (_conv == nullptr) {
        return std::nullopt;
    }
    HSZ i = ::DdeCreateStringHandleA(_instance, std::string(item).c_str(), CP_WINANSI);
    HDDEDATA data = ::DdeClientTransaction(nullptr, 0, _conv, i, format, XTYP_REQUEST, 5000, nullptr);
    (void)::DdeFreeStringHandle(_instance, i);
    if (data == nullptr) {
        return std::nullopt;
    }
    const DWORD n = ::DdeGetData(data, nullptr, 0, 0);
    std::string bytes(n, '\0');
    (void)::DdeGetData(data, reinterpret_cast<LPBYTE>(bytes.data()), n, 0);
    (void)::DdeFreeDataHandle(data);
    if (format == CF_TEXT) {
        bytes = bytes.c_str();
    }
    return bytes;
}

bool DdeClient::StartAdvise(std::string_view item) {
    if (_conv == nullptr) {
        return false;
    }
    HSZ i = ::DdeCreateStringHandleA(_instance, std::string(item).c_str(), CP_WINANSI);
    HDDEDATA ok = ::DdeClientTransaction(nullptr, 0, _conv, i, CF_TEXT, XTYP_ADVSTART, 5000, nullptr);
    (void)::DdeFreeStringHandle(_instance, i);
    return ok != nullptr;
}

// ---- clipboard, locale, version, screen -------------------------------------------------------------

std::optional<std::string> ClipboardBytes(UINT format) {
    std::optional<std::string> bytes;
    if (!::OpenClipboard(nullptr)) {
        return bytes;
    }
    if (HANDLE h = ::GetClipboardData(format)) {
        if (const void* p = ::GlobalLock(h)) {
            bytes = std::string(static_cast<const char*>(p), ::GlobalSize(h));
            (void)::GlobalUnlock(h);
        }
    }
    (void)::CloseClipboard();
    return bytes;
}

bool EmptyTheClipboard() {
    if (!::OpenClipboard(nullptr)) {
        return false;
    }
    const bool ok = ::EmptyClipboard() != FALSE;
    (void)::CloseClipboard();
    return ok;
}

namespace {
std::wstring LocaleValue(LCTYPE type) {
    wchar_t value[16] = {};
    (void)::GetLocaleInfoW(LOCALE_USER_DEFAULT, type, value, 16);
    return value;
}
}  // namespace

LocaleSeparators::LocaleSeparators(std::wstring decimal, std::wstring thousands)
    : _decimal(LocaleValue(LOCALE_SDECIMAL)), _thousands(LocaleValue(LOCALE_STHOUSAND)) {
    if (!::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal.c_str()) ||
        !::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, thousands.c_str())) {
        ADD_FAILURE() << "could not set the locale's separators";
    }
}

LocaleSeparators::~LocaleSeparators() {
    (void)::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, _decimal.c_str());
    (void)::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, _thousands.c_str());
}

std::string FileVersion(const std::string& exe, int parts) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(exe.c_str(), &ignored);
    if (size == 0) {
        return {};
    }
    std::vector<char> block(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!::GetFileVersionInfoA(exe.c_str(), 0, size, block.data()) ||
        !::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &length) || info == nullptr) {
        return {};
    }
    const DWORD numbers[] = {HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                             HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS)};
    std::string out;
    for (int i = 0; i < std::clamp(parts, 1, 4); ++i) {
        out += (i > 0 ? "." : "") + std::to_string(numbers[i]);
    }
    return out;
}

int ScreenDpi() {
    HDC dc = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(dc, LOGPIXELSX);
    (void)::ReleaseDC(nullptr, dc);
    return dpi;
}

int Px(int twips) {
    return (twips * ScreenDpi() + 720) / 1440;
}

// A screen copy sees the window as drawn, with its frame and menu bar; the test run keeps the
// files as artefacts for the eye.
bool Screenshot(HWND window, const std::string& name) {
    const RECT r = WindowRect(window);
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    if (w <= 0 || h <= 0) {
        return false;
    }
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    HBITMAP bmp = ::CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    (void)::BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    (void)::SelectObject(mem, old);
    BITMAPINFOHEADER bi{};
    bi.biSize = sizeof bi;
    bi.biWidth = w;
    bi.biHeight = h;
    bi.biPlanes = 1;
    bi.biBitCount = 24;
    bi.biCompression = BI_RGB;
    const int stride = (w * 3 + 3) & ~3;
    std::string pixels(static_cast<size_t>(stride) * h, '\0');
    (void)::GetDIBits(mem, bmp, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
    (void)::DeleteObject(bmp);
    (void)::DeleteDC(mem);
    (void)::ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof bi;
    fh.bfSize = fh.bfOffBits + static_cast<DWORD>(pixels.size());
    std::string file(reinterpret_cast<const char*>(&fh), sizeof fh);
    file.append(reinterpret_cast<const char*>(&bi), sizeof bi);
    file += pixels;
    const std::string folder = JoinPath(WinBuildDir(), "screenshots");
    (void)MakeFolders(folder);
    return WriteFileBytes(JoinPath(folder, name + ".bmp"), file);
}

}  // namespace e2e

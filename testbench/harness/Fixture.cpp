#include <winsock2.h>  // before <windows.h>, which the fixture includes

#include "Fixture.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <mutex>
#include <sstream>

namespace e2e {

namespace {

// Marks the key events this program injects, so that the recorder tells them from Pesora's.
constexpr ULONG_PTR kOwnEventMark = 0x7E57;

std::string Str(std::string_view s) {
    return std::string(s);
}

bool SameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ::_strnicmp(a.data(), b.data(), a.size()) == 0;
}

std::string_view Trimmed(std::string_view s) {
    const size_t first = s.find_first_not_of(" \t");
    return first == s.npos ? std::string_view() : s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::istringstream in{Str(text)};
    for (std::string line; std::getline(in, line);) {
        lines.push_back(!line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line);
    }
    return lines;
}

std::vector<std::string> SectionLines(std::string_view text, std::string_view section) {
    std::vector<std::string> out;
    bool inSection = false;
    for (const std::string& raw : SplitLines(text)) {
        const std::string_view line = Trimmed(raw);
        if (!line.empty() && line.front() == '[') {
            const size_t close = line.find(']');
            inSection = close != std::string_view::npos && SameNoCase(line.substr(1, close - 1), section);
        } else if (inSection && !line.empty()) {
            out.push_back(Str(line));
        }
    }
    return out;
}

// Sent in UTF-16: Pesora's windows are Unicode, and Wine hands their texts to an ANSI asker from
// another process unconverted.
LRESULT SendW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutW(hwnd, msg, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result) ? LRESULT(result) : -1;
}

// The caption as the system keeps it, read without a message: a thread busy in a wait would
// answer WM_GETTEXT only when the wait ends, once for every window of the process.
std::string Caption(HWND hwnd) {
    wchar_t text[256] = {};
    const int n = ::GetWindowTextW(hwnd, text, 256);
    return Utf8(std::wstring_view(text, n > 0 ? static_cast<size_t>(n) : 0));
}

}  // namespace

// ---- paths, files, INI files, registry ----------------------------------------------------------

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string out = Str(folder);
    if (!out.empty() && out.back() != '\\') {
        out += '\\';
    }
    return out + Str(name);
}

std::string FolderOf(std::string_view path) {
    const size_t slash = path.find_last_of("\\/");
    if (slash == std::string_view::npos) {
        return {};
    }
    return Str(path.substr(0, slash == 2 && path[1] == ':' ? 3 : slash));  // a drive root keeps its separator
}

std::string TestProgram(std::string_view name) {
    char buf[MAX_PATH * 4] = {};
    const DWORD n = ::GetModuleFileNameA(nullptr, buf, sizeof buf);
    return JoinPath(FolderOf(std::string_view(buf, n)), name);
}

std::string WinBuildDir() {
    return FolderOf(FolderOf(TestProgram("x")));
}

std::string PesoraExe() {
    return JoinPath(WinBuildDir(), "Pesora.exe");
}

bool FileExists(std::string_view path) {
    const DWORD a = ::GetFileAttributesW(Wide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FolderExists(std::string_view path) {
    const DWORD a = ::GetFileAttributesW(Wide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool MakeFolders(std::string_view path) {
    const int error = ::SHCreateDirectoryExW(nullptr, Wide(path).c_str(), nullptr);
    return error == ERROR_SUCCESS || error == ERROR_ALREADY_EXISTS;
}

bool RemoveTree(std::string_view path) {
    std::wstring from = Wide(path) + L'\0';  // the list ends with two zeros
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    (void)::SHFileOperationW(&op);
    return ::GetFileAttributesW(from.c_str()) == INVALID_FILE_ATTRIBUTES;
}

std::string FreshFolder(std::string_view name) {
    const std::string folder = JoinPath("C:\\e2e", name);
    (void)RemoveTree(folder);
    (void)MakeFolders(folder);
    return folder;
}

std::optional<std::string> ReadFileBytes(std::string_view path) {
    HANDLE h = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::string data;
    char buf[65536];
    DWORD got = 0;
    while (::ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) {
        data.append(buf, got);
    }
    (void)::CloseHandle(h);
    return data;
}

bool WriteFileBytes(std::string_view path, std::string_view bytes) {
    HANDLE h =
        ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD wrote = 0;  // the files written here are small: one write takes them whole
    const bool ok =
        ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) && wrote == bytes.size();
    (void)::CloseHandle(h);
    return ok;
}

bool DeleteFileAt(std::string_view path) {
    return ::DeleteFileW(Wide(path).c_str()) || !FileExists(path);
}

std::string InstallPesora(std::string_view folder, std::string_view fileName, std::string_view source) {
    (void)MakeFolders(folder);
    const std::string target = JoinPath(folder, fileName);
    const std::string from = source.empty() ? PesoraExe() : Str(source);
    return ::CopyFileW(Wide(from).c_str(), Wide(target).c_str(), FALSE) ? target : "";
}

std::string CommonAppData() {
    char buf[MAX_PATH] = {};
    return SUCCEEDED(::SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buf)) ? buf
                                                                                                          : "C:\\";
}

std::string SettingsFileFor(std::string_view exeName) {
    return JoinPath(JoinPath(CommonAppData(), "Pesora"), Str(exeName) + ".Ini");
}

namespace {
template <typename Fn>
Fn WineExport(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), name)));
}
}  // namespace

bool RunningUnderWine() {
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string UnixPathOf(std::string_view windowsPath) {
    auto fn = WineExport<char*(CDECL*)(LPCWSTR)>("wine_get_unix_file_name");
    char* unix = fn != nullptr ? fn(std::wstring(windowsPath.begin(), windowsPath.end()).c_str()) : nullptr;
    if (unix == nullptr) {
        return {};
    }
    std::string out = unix;
    (void)::HeapFree(::GetProcessHeap(), 0, unix);
    return out;
}

std::string WindowsPathOf(std::string_view unixPath) {
    auto fn = WineExport<WCHAR*(CDECL*)(LPCSTR)>("wine_get_dos_file_name");
    if (fn == nullptr) {
        return Str(unixPath);
    }
    WCHAR* dos = fn(Str(unixPath).c_str());
    if (dos == nullptr) {
        return {};
    }
    std::string out = Utf8(dos);
    (void)::HeapFree(::GetProcessHeap(), 0, dos);
    return out;
}

std::optional<std::string> ReadIni(std::string_view path, std::string_view section, std::string_view key) {
    static constexpr char kMissing[] = "\x01<missing>\x01";
    std::string buf(65536, '\0');
    const DWORD n = ::GetPrivateProfileStringA(Str(section).c_str(), Str(key).c_str(), kMissing, buf.data(),
                                               static_cast<DWORD>(buf.size()), Str(path).c_str());
    buf.resize(n);
    return buf == kMissing ? std::nullopt : std::optional(buf);
}

bool WriteIni(std::string_view path, std::string_view section, std::string_view key, std::string_view value) {
    return ::WritePrivateProfileStringA(Str(section).c_str(), Str(key).c_str(), Str(value).c_str(),
                                        Str(path).c_str()) != FALSE;
}

std::vector<std::string> ReadLines(std::string_view path) {
    return SplitLines(ReadFileBytes(path).value_or(""));
}

std::vector<std::string> IniSectionLines(std::string_view path, std::string_view section) {
    return SectionLines(ReadFileBytes(path).value_or(""), section);
}

// Read in UTF-16, so that a value beyond the ANSI code page reads as it is.
std::optional<std::string> ReadRegString(HKEY root, std::string_view subKey, std::string_view name) {
    wchar_t data[2048] = {};
    DWORD size = sizeof data - sizeof data[0];
    if (::RegGetValueW(root, Wide(subKey).c_str(), Wide(name).c_str(),
                       RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, data, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return Utf8(data);
}

bool WriteRegString(HKEY root, std::string_view subKey, std::string_view name, std::string_view value) {
    const std::string v = Str(value);
    return ::RegSetKeyValueA(root, Str(subKey).c_str(), Str(name).c_str(), REG_SZ, v.c_str(),
                             static_cast<DWORD>(v.size() + 1)) == ERROR_SUCCESS;
}

bool DeleteRegValue(HKEY root, std::string_view subKey, std::string_view name) {
    const LSTATUS st = ::RegDeleteKeyValueA(root, Str(subKey).c_str(), Str(name).c_str());
    return st == ERROR_SUCCESS || st == ERROR_FILE_NOT_FOUND || st == ERROR_PATH_NOT_FOUND;
}

// ---- processes and windows ------------------------------------------------------------------------

// The old process goes to `other`, whose end kills it.
Process& Process::operator=(Process&& other) noexcept {
    std::swap(_process, other._process);
    std::swap(_pid, other._pid);
    return *this;
}

Process::~Process() {
    Kill();
    if (_process != nullptr) {
        (void)::CloseHandle(_process);
    }
}

std::optional<DWORD> Process::Wait(Millis timeout) {
    DWORD code = 0;
    if (_process == nullptr || ::WaitForSingleObject(_process, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0 ||
        !::GetExitCodeProcess(_process, &code)) {
        return std::nullopt;
    }
    return code;
}

bool Process::WaitOrKill(Millis timeout) {
    const bool ended = Wait(timeout).has_value();
    Kill();
    return ended;
}

void Process::Kill() {
    if (Running()) {
        (void)::TerminateProcess(_process, 99);
        (void)::WaitForSingleObject(_process, 5000);
    }
}

Process Start(std::string_view exePath, std::string_view arguments) {
    std::wstring commandLine = Wide("\"" + Str(exePath) + "\"" + (arguments.empty() ? "" : " " + Str(arguments)));
    const std::wstring folder = Wide(FolderOf(exePath));
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(Wide(exePath).c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
        return {};
    }
    (void)::CloseHandle(pi.hThread);
    return Process(pi.hProcess, pi.dwProcessId);
}

bool WaitUntil(const std::function<bool()>& condition, Millis timeout, bool pump) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (MSG msg;;) {
        while (pump && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        if (pump) {
            (void)::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        } else {
            ::Sleep(20);
        }
    }
}

std::vector<HWND> TopLevelWindows(DWORD pid) {
    std::vector<HWND> out;
    for (HWND w = ::FindWindowExA(nullptr, nullptr, nullptr, nullptr); w;
         w = ::FindWindowExA(nullptr, w, nullptr, nullptr)) {
        DWORD owner = 0;
        (void)::GetWindowThreadProcessId(w, &owner);
        if (owner == pid) {
            out.push_back(w);
        }
    }
    return out;
}

HWND FindTopLevel(DWORD pid, std::string_view caption, std::string_view className) {
    for (HWND hwnd : TopLevelWindows(pid)) {
        if (Caption(hwnd) == caption && (className.empty() || ClassName(hwnd) == className)) {
            return hwnd;
        }
    }
    return nullptr;
}

HWND WaitForWindow(DWORD pid, std::string_view caption, Millis timeout, std::string_view className) {
    HWND found = nullptr;
    (void)WaitUntil([&] { return (found = FindTopLevel(pid, caption, className)) != nullptr; }, timeout);
    return found;
}

HWND WaitForMainWindow(const Process& process, Millis timeout) {
    HWND found = nullptr;
    (void)WaitUntil(
        [&] {
            for (HWND hwnd : TopLevelWindows(process.Pid())) {
                found = ::GetMenu(hwnd) != nullptr && Caption(hwnd) == "Pesora" ? hwnd : found;
            }
            return found != nullptr || !process.Running();  // no point waiting for a process that has ended
        },
        timeout);
    return found;
}

std::wstring Wide(std::string_view utf8) {
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(std::max(n, 0)), L'\0');
    (void)::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string Utf8(std::wstring_view text) {
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(std::max(n, 0)), '\0');
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

std::string Text(HWND hwnd) {
    return Utf8(WideText(hwnd));
}

std::string ClassName(HWND hwnd) {
    char buf[256] = {};
    const int n = ::GetClassNameA(hwnd, buf, sizeof buf);
    return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

RECT WindowRect(HWND hwnd) {
    RECT r{};
    (void)::GetWindowRect(hwnd, &r);
    return r;
}

RECT ClientRectOf(HWND hwnd) {
    RECT r{};
    (void)::GetClientRect(hwnd, &r);
    return r;
}

RECT RectInParent(HWND child) {
    RECT r = WindowRect(child);
    (void)::MapWindowPoints(HWND_DESKTOP, ::GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

LRESULT Send(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, Millis timeout) {
    DWORD_PTR result = 0;
    const UINT ms = static_cast<UINT>(timeout.count());
    return ::SendMessageTimeoutA(hwnd, msg, wParam, lParam, SMTO_ABORTIFHUNG, ms, &result) ? LRESULT(result) : -1;
}

std::vector<std::string> MenuItemTexts(HMENU menu) {
    std::vector<std::string> out;
    for (int i = 0; menu != nullptr && i < ::GetMenuItemCount(menu); ++i) {
        char buf[256] = {};
        MENUITEMINFOA mii{};
        mii.cbSize = sizeof mii;
        mii.fMask = MIIM_FTYPE | MIIM_STRING;
        mii.dwTypeData = buf;
        mii.cch = sizeof buf;
        const bool got = ::GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &mii) != FALSE;
        out.push_back(!got ? "?" : (mii.fType & MFT_SEPARATOR) ? "-" : buf);
    }
    return out;
}

std::vector<UINT> MenuItemIds(HMENU menu) {
    std::vector<UINT> out;
    for (int i = 0; menu != nullptr && i < ::GetMenuItemCount(menu); ++i) {
        out.push_back(::GetMenuItemID(menu, i));
    }
    return out;
}

HMENU LoadMenuFromExe(std::string_view exePath, int menuId) {
    HMODULE module = ::LoadLibraryExA(Str(exePath).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        return nullptr;
    }
    HMENU menu = ::LoadMenuA(module, MAKEINTRESOURCEA(menuId));  // a copy: the module may go
    (void)::FreeLibrary(module);
    return menu;
}

// A message box's text is its static control 0xFFFF; its OK button is IDOK.
std::string MessageBoxText(HWND box) {
    return Text(::GetDlgItem(box, 0xFFFF));
}

std::vector<std::string> MessageBoxButtons(HWND box) {
    std::vector<std::string> out;
    for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (SameNoCase(ClassName(child), "Button")) {
            out.push_back(Text(child));
        }
    }
    return out;
}

bool PressOk(HWND box) {
    return Post(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(box, IDOK)));
}

// ---- a virtual scale ------------------------------------------------------------------------------

Scale::Scale(ScaleOptions options) : _options(std::move(options)) {
    const vscale::Outcome plugged = vscale::Plug(_options);
    _plugged = plugged.ok;
    if (!_plugged) {
        ADD_FAILURE() << "plugging scale " << _options.serial << ": " << plugged.message;
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

Scale::~Scale() {
    if (_plugged) {
        (void)vscale::Unplug(_options.serial);
    }
}

bool Scale::Set(uint8_t status, uint8_t unit, int8_t exponent, int16_t weight) {
    return vscale::SetReading(_options.serial, vscale::ScaleReading{status, unit, exponent, weight}).ok;
}

bool Scale::Unplug() {
    const bool ok = vscale::Unplug(_options.serial).ok;
    _plugged = _plugged && !ok;
    return ok;
}

std::vector<std::vector<uint8_t>> Scale::Outputs() const {
    return vscale::Outputs(_options.serial, false, nullptr).value_or(std::vector<std::vector<uint8_t>>{});
}

std::optional<uint32_t> Scale::ReportsSent() const {
    const auto state = vscale::FindScale(_options.serial, nullptr);
    return state ? std::optional(state->reportsSent) : std::nullopt;
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
    _exe = InstallPesora(folder, _options.name + ".exe", _options.source);
    if (_exe.empty()) {
        ADD_FAILURE() << "could not install Pesora into " << folder;
        return;
    }
    const std::string ini = SettingsFile();
    if (!_options.keepSettingsFile) {
        (void)DeleteFileAt(ini);
        if (!_options.settings.empty() && !(MakeFolders(FolderOf(ini)) && WriteFileBytes(ini, _options.settings))) {
            ADD_FAILURE() << "could not write " << ini;
        }
    }
    _process = Start(_exe, _options.switches);
    _main = _process.Started() ? WaitForMainWindow(_process) : nullptr;
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

// The rows asked for in UTF-16 (see SendW), into a buffer far larger than any row: LB_GETTEXT
// takes no size.
std::vector<std::string> Pesora::Rows() const {
    std::vector<std::string> rows;
    HWND list = Control(IDC_SCALE_LIST);
    const LRESULT count = SendW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring text(4096, L'\0');
        const LRESULT got = SendW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        text.resize(got > 0 && got < 4096 ? static_cast<size_t>(got) : 0);
        rows.push_back(Utf8(text));
    }
    return rows;
}

int Pesora::RowOf(std::string_view containing) const {
    const std::vector<std::string> rows = Rows();
    const auto it = std::find_if(rows.begin(), rows.end(),
                                 [&](const std::string& row) { return row.find(containing) != row.npos; });
    return it == rows.end() ? -1 : static_cast<int>(it - rows.begin());
}

// What a click on a row does: the list box selects it and tells its parent.
void Pesora::ClickRow(int row) {
    HWND list = Control(IDC_SCALE_LIST);
    (void)Send(list, LB_SETCURSEL, static_cast<WPARAM>(row));
    (void)Send(_main, WM_COMMAND, MAKEWPARAM(IDC_SCALE_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

bool Pesora::ClickRow(std::string_view containing) {
    const int row = RowOf(containing);
    if (row >= 0) {
        ClickRow(row);
    }
    return row >= 0;
}

// Hidden buttons (Refresh Device List) still take their command.
void Pesora::Click(int buttonId) {
    (void)Send(_main, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(Control(buttonId)));
}

::testing::AssertionResult Pesora::Exit() {
    const auto code = _main != nullptr && ClickMenu(_main, IDM_EXIT) ? _process.Wait() : std::nullopt;
    if (code == 0u) {
        return ::testing::AssertionSuccess();
    }
    _process.Kill();
    return ::testing::AssertionFailure() << (code ? "ended with code " + std::to_string(*code)
                                                  : "did not end after File > Exit");
}

std::optional<std::string> Pesora::Setting(std::string_view key) const {
    std::string text = ReadFileBytes(SettingsFile()).value_or("");
    if (text.size() >= 2 && text[0] == '\xFF' && text[1] == '\xFE') {
        text = Utf8(std::wstring_view(reinterpret_cast<const wchar_t*>(text.data() + 2), (text.size() - 2) / 2));
    } else if (text.starts_with("\xEF\xBB\xBF")) {
        text.erase(0, 3);
    }
    for (const std::string& line : SectionLines(text, "Settings")) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos && SameNoCase(Trimmed(std::string_view(line).substr(0, eq)), key)) {
            return Str(Trimmed(std::string_view(line).substr(eq + 1)));
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

// The receiving thread sees each key down before the next; the last is held a moment, as a hand
// holds it (a hotkey's send waits for its release).
void Chord(const std::vector<BYTE>& keys, DWORD holdMs) {
    for (size_t i = 0; i < keys.size(); ++i) {
        Key(keys[i], true);
        ::Sleep(i + 1 < keys.size() ? 30 : holdMs);
    }
    for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
        Key(*it, false);
        ::Sleep(30);
    }
}

// The hook procedure has no context of its own: the events go to one shared list.
namespace {
std::mutex g_keysLock;
std::vector<KeyRecorder::Event> g_keys;

LRESULT CALLBACK RecordInjected(int code, WPARAM wParam, LPARAM lParam) {
    const auto* info = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    if (code == HC_ACTION && (info->flags & LLKHF_INJECTED) != 0 && info->dwExtraInfo != kOwnEventMark) {
        const std::lock_guard lock(g_keysLock);
        g_keys.push_back({info->vkCode, info->scanCode, info->flags, (info->flags & LLKHF_UP) != 0});
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// Runs `body` on a thread of its own that then pumps messages until WM_QUIT (a low-level hook is
// called on the thread that set it; a window answers on the thread that made it); returns once
// `body` has run.
void StartPumpingThread(std::thread& thread, std::atomic<DWORD>& threadId, const std::function<void()>& body) {
    std::atomic<bool> ready{false};
    thread = std::thread([&threadId, &ready, body] {
        threadId = ::GetCurrentThreadId();
        body();
        ready = true;
        MSG msg;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    });
    while (!ready) {
        ::Sleep(5);
    }
}

void StopPumpingThread(std::thread& thread, std::atomic<DWORD>& threadId) {
    (void)::PostThreadMessageW(threadId, WM_QUIT, 0, 0);
    thread.join();
}
}  // namespace

KeyRecorder::KeyRecorder() {
    Clear();
    StartPumpingThread(_thread, _threadId, [] {
        if (::SetWindowsHookExW(WH_KEYBOARD_LL, &RecordInjected, ::GetModuleHandleW(nullptr), 0) == nullptr) {
            ADD_FAILURE() << "no low-level keyboard hook";
        }
    });
}

// The hook goes with its thread.
KeyRecorder::~KeyRecorder() {
    StopPumpingThread(_thread, _threadId);
}

std::vector<KeyRecorder::Event> KeyRecorder::Events() const {
    const std::lock_guard lock(g_keysLock);
    return g_keys;
}

void KeyRecorder::Clear() {
    const std::lock_guard lock(g_keysLock);
    g_keys.clear();
}

Target::Target(std::string_view caption) {
    StartPumpingThread(_thread, _threadId, [this, title = Wide(caption)] {
        _window = ::CreateWindowExW(0, L"STATIC", title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400, 200,
                                    nullptr, nullptr, nullptr, nullptr);
        _edit = ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_WANTRETURN, 0, 0, 380, 150,
                                  _window, reinterpret_cast<HMENU>(100), nullptr, nullptr);
        (void)::SetForegroundWindow(_window);
        (void)::SetFocus(_edit);
    });
}

// The windows go with their thread.
Target::~Target() {
    StopPumpingThread(_thread, _threadId);
}

bool Target::Focus() const {
    (void)::SetForegroundWindow(_window);
    const bool front = WaitUntil([&] { return ::GetForegroundWindow() == _window; }, 3s);
    // Once another program has been in front, the keyboard focus comes back to the frame, not to
    // the edit box, and typed keys would go nowhere: a click into the box gives it the focus.
    (void)::SendMessageW(_edit, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    (void)::SendMessageW(_edit, WM_LBUTTONUP, 0, 0);
    return front;
}

// ---- DDE --------------------------------------------------------------------------------------------

namespace {
std::vector<DdeClient*> g_ddeClients;  // DDEML callbacks carry no context: advise data is matched by conversation

std::string DdeBytes(HDDEDATA data) {
    std::string bytes(::DdeGetData(data, nullptr, 0, 0), '\0');
    (void)::DdeGetData(data, reinterpret_cast<LPBYTE>(bytes.data()), static_cast<DWORD>(bytes.size()), 0);
    return bytes;
}
}  // namespace

HDDEDATA CALLBACK DdeClient::Callback(UINT type, UINT, HCONV conv, HSZ, HSZ, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
    if (type != XTYP_ADVDATA) {
        return nullptr;
    }
    for (DdeClient* client : g_ddeClients) {
        if (client->_conv == conv) {
            client->_advised.push_back(data != nullptr ? DdeBytes(data).c_str() : "");
        }
    }
    return reinterpret_cast<HDDEDATA>(DDE_FACK);
}

DdeClient::DdeClient(std::string_view service, std::string_view topic) {
    if (::DdeInitializeA(&_instance, &Callback, APPCMD_CLIENTONLY, 0) == DMLERR_NO_ERROR) {
        g_ddeClients.push_back(this);
        HSZ s = ::DdeCreateStringHandleA(_instance, Str(service).c_str(), CP_WINANSI);
        HSZ t = ::DdeCreateStringHandleA(_instance, Str(topic).c_str(), CP_WINANSI);
        _conv = ::DdeConnect(_instance, s, t, nullptr);
        (void)::DdeFreeStringHandle(_instance, s);
        (void)::DdeFreeStringHandle(_instance, t);
    }
}

// Ending the instance ends its conversation.
DdeClient::~DdeClient() {
    g_ddeClients.erase(std::remove(g_ddeClients.begin(), g_ddeClients.end(), this), g_ddeClients.end());
    (void)::DdeUninitialize(_instance);
}

HDDEDATA DdeClient::Transaction(std::string_view item, UINT format, UINT type) {
    if (_conv == nullptr) {
        return nullptr;
    }
    HSZ i = ::DdeCreateStringHandleA(_instance, Str(item).c_str(), CP_WINANSI);
    HDDEDATA data = ::DdeClientTransaction(nullptr, 0, _conv, i, format, type, 5000, nullptr);
    (void)::DdeFreeStringHandle(_instance, i);
    return data;
}

std::optional<std::string> DdeClient::Request(std::string_view item, UINT format) {
    HDDEDATA data = Transaction(item, format, XTYP_REQUEST);
    if (data == nullptr) {
        return std::nullopt;
    }
    std::string bytes = DdeBytes(data);
    (void)::DdeFreeDataHandle(data);
    return format == CF_TEXT ? std::string(bytes.c_str()) : bytes;
}

// ---- the web endpoint -------------------------------------------------------------------------------

namespace {
// Sends `request` to the loopback `port` and returns what comes back until the peer closes, or
// with `oneLine` up to the first line end (without it).
std::string LoopbackExchange(int port, std::string_view request, bool oneLine) {
    WSADATA wsa{};
    (void)::WSAStartup(MAKEWORD(2, 2), &wsa);
    std::string answer;
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = ::htons(static_cast<u_short>(port));
    to.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
        (void)::send(s, request.data(), static_cast<int>(request.size()), 0);
        char buf[4096];
        for (int n; !(oneLine && answer.find('\n') != answer.npos) && (n = ::recv(s, buf, sizeof buf, 0)) > 0;) {
            answer.append(buf, static_cast<size_t>(n));
        }
    }
    (void)::closesocket(s);
    (void)::WSACleanup();
    return oneLine ? answer.substr(0, answer.find('\n')) : answer;
}
}  // namespace

std::string HttpGet(int port, std::string_view path) {
    return LoopbackExchange(port, "GET " + Str(path) + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n",
                            false);
}

// ---- the virtual serial scale ---------------------------------------------------------------------

std::string SerialScale::Ask(std::string_view command) const {
    const char* port = std::getenv("VSERIAL_PORT");  // bench.sh run sets it
    const size_t verb = command.find(' ');
    const std::string line =
        Str(command.substr(0, verb)) + " " + _port + (verb == command.npos ? "" : Str(command.substr(verb))) + "\n";
    return LoopbackExchange(port != nullptr ? std::atoi(port) : 18470, line, true);
}

bool SerialScale::Send(std::string_view bytes) const {
    std::string hex;
    for (const unsigned char c : bytes) {
        hex += "0123456789abcdef"[c >> 4];
        hex += "0123456789abcdef"[c & 15];
    }
    return Do("raw " + hex);
}

std::string SerialScale::Received() const {
    const std::string hex = Ask("rx");
    std::string bytes;
    if (hex.find_first_not_of("0123456789abcdef") != hex.npos) {
        return bytes;  // "-": nothing yet
    }
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

// ---- clipboard, locale, version, screen -------------------------------------------------------------

std::optional<std::string> ClipboardBytes(UINT format) {
    std::optional<std::string> bytes;
    HANDLE h = ::OpenClipboard(nullptr) ? ::GetClipboardData(format) : nullptr;
    if (const void* p = h != nullptr ? ::GlobalLock(h) : nullptr) {
        bytes = std::string(static_cast<const char*>(p), ::GlobalSize(h));
        (void)::GlobalUnlock(h);
    }
    (void)::CloseClipboard();
    return bytes;
}

bool EmptyTheClipboard() {
    const bool ok = ::OpenClipboard(nullptr) && ::EmptyClipboard();
    (void)::CloseClipboard();
    return ok;
}

LocaleSeparators::LocaleSeparators(const std::wstring& decimal, const std::wstring& thousands) {
    const std::wstring* wanted[2] = {&decimal, &thousands};
    for (int i = 0; i < 2; ++i) {
        wchar_t value[16] = {};
        (void)::GetLocaleInfoW(LOCALE_USER_DEFAULT, kTypes[i], value, 16);
        _saved[i] = value;
        if (!::SetLocaleInfoW(LOCALE_USER_DEFAULT, kTypes[i], wanted[i]->c_str())) {
            ADD_FAILURE() << "could not set the locale's separators";
        }
    }
}

LocaleSeparators::~LocaleSeparators() {
    for (int i = 0; i < 2; ++i) {
        (void)::SetLocaleInfoW(LOCALE_USER_DEFAULT, kTypes[i], _saved[i].c_str());
    }
}

std::string FileVersion(const std::string& exe, int parts) {
    DWORD ignored = 0;
    std::vector<char> block(::GetFileVersionInfoSizeA(exe.c_str(), &ignored));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (block.empty() || !::GetFileVersionInfoA(exe.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) ||
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

bool TrayIcon(HWND main, DWORD message) {
    NOTIFYICONDATAA nid{};
    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    nid.hWnd = main;
    nid.uFlags = NIF_TIP;
    lstrcpynA(nid.szTip, "Pesora", sizeof nid.szTip);
    return ::Shell_NotifyIconA(message, &nid) != FALSE;
}

int ScreenDpi() {
    HDC dc = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(dc, LOGPIXELSX);
    (void)::ReleaseDC(nullptr, dc);
    return dpi;
}

}  // namespace e2e

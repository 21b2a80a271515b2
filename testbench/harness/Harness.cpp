#include "Harness.h"

#include <shlobj.h>

#include <algorithm>
#include <cctype>
#include <thread>

namespace e2e {

namespace {

std::string Str(std::string_view s) {
    return std::string(s);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Trim(std::string_view s) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) {
        ++b;
    }
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) {
        --e;
    }
    return Str(s.substr(b, e - b));
}

struct EnumData {
    DWORD pid;
    std::vector<HWND>* out;
};

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM lParam) {
    auto* data = reinterpret_cast<EnumData*>(lParam);
    DWORD pid = 0;
    (void)::GetWindowThreadProcessId(hwnd, &pid);
    if (pid == data->pid) {
        data->out->push_back(hwnd);
    }
    return TRUE;
}

BOOL CALLBACK CollectChildren(HWND hwnd, LPARAM lParam) {
    reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hwnd);
    return TRUE;
}

LRESULT SendW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(hwnd, msg, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result)) {
        return -1;
    }
    return static_cast<LRESULT>(result);
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> out;
    (void)::EnumChildWindows(parent, &CollectChildren, reinterpret_cast<LPARAM>(&out));
    return out;
}

std::string MenuText(HMENU menu, UINT position) {
    char buf[256] = {};
    MENUITEMINFOA mii{};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_FTYPE | MIIM_STRING;
    mii.dwTypeData = buf;
    mii.cch = sizeof buf;
    if (!::GetMenuItemInfoA(menu, position, TRUE, &mii)) {
        return "?";
    }
    if (mii.fType & MFT_SEPARATOR) {
        return "-";
    }
    return buf;
}

}  // namespace

// ---- paths and files ------------------------------------------------------------------------

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string out = Str(folder);
    if (!out.empty() && out.back() != '\\') {
        out += '\\';
    }
    out += name;
    return out;
}

std::string FolderOf(std::string_view path) {
    const size_t slash = path.find_last_of("\\/");
    if (slash == std::string_view::npos) {
        return {};
    }
    if (slash == 2 && path[1] == ':') {
        return Str(path.substr(0, 3));  // a drive root keeps its separator
    }
    return Str(path.substr(0, slash));
}

std::string FileNameOf(std::string_view path) {
    const size_t slash = path.find_last_of("\\/");
    return Str(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string TestBinDir() {
    char buf[MAX_PATH * 4] = {};
    const DWORD n = ::GetModuleFileNameA(nullptr, buf, sizeof buf);
    return FolderOf(std::string_view(buf, n));
}

std::string WinBuildDir() {
    return FolderOf(TestBinDir());
}

std::string PesoraExe() {
    return JoinPath(WinBuildDir(), "Pesora.exe");
}

std::string TestProgram(std::string_view name) {
    return JoinPath(TestBinDir(), name);
}

bool FileExists(std::string_view path) {
    const DWORD a = ::GetFileAttributesA(Str(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FolderExists(std::string_view path) {
    const DWORD a = ::GetFileAttributesA(Str(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool MakeFolders(std::string_view path) {
    if (path.empty() || FolderExists(path)) {
        return true;
    }
    const std::string parent = FolderOf(path);
    if (!parent.empty() && parent != path && !MakeFolders(parent)) {
        return false;
    }
    return ::CreateDirectoryA(Str(path).c_str(), nullptr) || FolderExists(path);
}

bool RemoveTree(std::string_view path) {
    const std::string p = Str(path);
    const DWORD a = ::GetFileAttributesA(p.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) {
        return true;
    }
    (void)::SetFileAttributesA(p.c_str(), a & ~FILE_ATTRIBUTE_READONLY);
    if ((a & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return ::DeleteFileA(p.c_str()) != FALSE;
    }
    WIN32_FIND_DATAA fd{};
    HANDLE h = ::FindFirstFileA(JoinPath(p, "*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = fd.cFileName;
            if (name != "." && name != "..") {
                (void)RemoveTree(JoinPath(p, name));
            }
        } while (::FindNextFileA(h, &fd));
        (void)::FindClose(h);
    }
    return ::RemoveDirectoryA(p.c_str()) != FALSE;
}

std::string FreshFolder(std::string_view name) {
    const std::string folder = JoinPath("C:\\e2e", name);
    (void)RemoveTree(folder);
    (void)MakeFolders(folder);
    return folder;
}

std::optional<std::string> ReadFileBytes(std::string_view path) {
    HANDLE h = ::CreateFileA(Str(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
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
        ::CreateFileA(Str(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
        DWORD wrote = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
        ok = ::WriteFile(h, bytes.data() + done, chunk, &wrote, nullptr) && wrote > 0;
        done += wrote;
    }
    (void)::CloseHandle(h);
    return ok;
}

bool DeleteFileAt(std::string_view path) {
    const std::string p = Str(path);
    (void)::SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
    return ::DeleteFileA(p.c_str()) != FALSE || !FileExists(p);
}

std::string InstallPesora(std::string_view folder, std::string_view fileName) {
    (void)MakeFolders(folder);
    const std::string target = JoinPath(folder, fileName);
    if (!::CopyFileA(PesoraExe().c_str(), target.c_str(), FALSE)) {
        return {};
    }
    return target;
}

std::string CommonAppData() {
    char buf[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buf))) {
        return "C:\\";
    }
    return buf;
}

std::string SettingsFileFor(std::string_view exeName) {
    return JoinPath(JoinPath(CommonAppData(), "Pesora"), Str(exeName) + ".Ini");
}

bool RunningUnderWine() {
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string UnixPathOf(std::string_view windowsPath) {
    using Fn = char*(CDECL*)(LPCWSTR);
    auto fn = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (fn == nullptr) {
        return {};
    }
    std::wstring wide(windowsPath.begin(), windowsPath.end());
    char* unix = fn(wide.c_str());
    if (unix == nullptr) {
        return {};
    }
    std::string out = unix;
    (void)::HeapFree(::GetProcessHeap(), 0, unix);
    return out;
}

std::string WindowsPathOf(std::string_view unixPath) {
    using Fn = WCHAR*(CDECL*)(LPCSTR);
    auto fn = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
    if (fn == nullptr) {
        return Str(unixPath);
    }
    WCHAR* dos = fn(Str(unixPath).c_str());
    if (dos == nullptr) {
        return {};
    }
    std::string out;
    for (const WCHAR* p = dos; *p != 0; ++p) {
        out += static_cast<char>(*p < 128 ? *p : '?');
    }
    (void)::HeapFree(::GetProcessHeap(), 0, dos);
    return out;
}

// ---- INI files and registry -------------------------------------------------------------------

std::optional<std::string> ReadIni(std::string_view path, std::string_view section, std::string_view key) {
    static constexpr char kMissing[] = "\x01<missing>\x01";
    std::string buf(65536, '\0');
    const DWORD n = ::GetPrivateProfileStringA(Str(section).c_str(), Str(key).c_str(), kMissing, buf.data(),
                                               static_cast<DWORD>(buf.size()), Str(path).c_str());
    buf.resize(n);
    if (buf == kMissing) {
        return std::nullopt;
    }
    return buf;
}

bool WriteIni(std::string_view path, std::string_view section, std::string_view key, std::string_view value) {
    return ::WritePrivateProfileStringA(Str(section).c_str(), Str(key).c_str(), Str(value).c_str(),
                                        Str(path).c_str()) != FALSE;
}

std::vector<std::string> ReadLines(std::string_view path) {
    std::vector<std::string> lines;
    const auto data = ReadFileBytes(path);
    if (!data) {
        return lines;
    }
    size_t start = 0;
    while (start < data->size()) {
        size_t end = data->find('\n', start);
        if (end == std::string::npos) {
            end = data->size();
        }
        std::string line = data->substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> IniSectionLines(std::string_view path, std::string_view section) {
    std::vector<std::string> out;
    bool inSection = false;
    for (const std::string& raw : ReadLines(path)) {
        const std::string line = Trim(raw);
        if (!line.empty() && line.front() == '[') {
            const size_t close = line.find(']');
            inSection = close != std::string::npos && EqualNoCase(line.substr(1, close - 1), section);
            continue;
        }
        if (inSection && !line.empty()) {
            out.push_back(line);
        }
    }
    return out;
}

std::optional<std::string> ReadRegString(HKEY root, std::string_view subKey, std::string_view name) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, Str(subKey).c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD type = 0;
    DWORD size = 0;
    const std::string n = Str(name);
    std::optional<std::string> result;
    if (::RegQueryValueExA(key, n.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        std::string data(size + 1, '\0');
        DWORD got = size;
        if (::RegQueryValueExA(key, n.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got) ==
            ERROR_SUCCESS) {
            data.resize(got);
            while (!data.empty() && data.back() == '\0') {
                data.pop_back();
            }
            result = data;
        }
    }
    (void)::RegCloseKey(key);
    return result;
}

bool WriteRegString(HKEY root, std::string_view subKey, std::string_view name, std::string_view value) {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(root, Str(subKey).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    const std::string v = Str(value);
    const bool ok = ::RegSetValueExA(key, Str(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()),
                                     static_cast<DWORD>(v.size() + 1)) == ERROR_SUCCESS;
    (void)::RegCloseKey(key);
    return ok;
}

bool DeleteRegValue(HKEY root, std::string_view subKey, std::string_view name) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, Str(subKey).c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
        return true;
    }
    const LSTATUS st = ::RegDeleteValueA(key, Str(name).c_str());
    (void)::RegCloseKey(key);
    return st == ERROR_SUCCESS || st == ERROR_FILE_NOT_FOUND;
}

// ---- processes ----------------------------------------------------------------------------------

Process::Process(Process&& other) noexcept : _process(other._process), _pid(other._pid) {
    other._process = nullptr;
    other._pid = 0;
}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        Kill();
        Close();
        _process = other._process;
        _pid = other._pid;
        other._process = nullptr;
        other._pid = 0;
    }
    return *this;
}

Process::~Process() {
    Kill();
    Close();
}

void Process::Close() {
    if (_process != nullptr) {
        (void)::CloseHandle(_process);
        _process = nullptr;
    }
}

bool Process::Running() const {
    return _process != nullptr && ::WaitForSingleObject(_process, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Process::Wait(Millis timeout) {
    if (_process == nullptr) {
        return std::nullopt;
    }
    if (::WaitForSingleObject(_process, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = 0;
    (void)::GetExitCodeProcess(_process, &code);
    return code;
}

bool Process::WaitOrKill(Millis timeout) {
    if (Wait(timeout)) {
        return true;
    }
    Kill();
    return false;
}

void Process::Kill() {
    if (Running()) {
        (void)::TerminateProcess(_process, 99);
        (void)::WaitForSingleObject(_process, 5000);
    }
}

Process Start(std::string_view exePath, std::string_view arguments, std::string_view workingFolder) {
    std::string commandLine;
    commandLine += '"';
    commandLine += exePath;
    commandLine += '"';
    if (!arguments.empty()) {
        commandLine += ' ';
        commandLine += arguments;
    }
    const std::string folder = workingFolder.empty() ? FolderOf(exePath) : Str(workingFolder);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessA(Str(exePath).c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
        return {};
    }
    (void)::CloseHandle(pi.hThread);
    return Process(pi.hProcess, pi.dwProcessId);
}

// ---- windows ----------------------------------------------------------------------------------

bool WaitUntil(const std::function<bool()>& condition, Millis timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
}

std::vector<HWND> TopLevelWindows(DWORD pid) {
    std::vector<HWND> out;
    EnumData data{pid, &out};
    (void)::EnumWindows(&CollectTopLevel, reinterpret_cast<LPARAM>(&data));
    return out;
}

std::string Text(HWND hwnd) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) {
        return {};
    }
    std::string buf(static_cast<size_t>(length) + 1, '\0');
    DWORD_PTR got = 0;
    if (!::SendMessageTimeoutA(hwnd, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), SMTO_ABORTIFHUNG,
                               5000, &got)) {
        return {};
    }
    buf.resize(std::min<size_t>(got, buf.size() - 1));
    return buf;
}

std::string ClassName(HWND hwnd) {
    char buf[256] = {};
    const int n = ::GetClassNameA(hwnd, buf, sizeof buf);
    return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

// The caption as the system keeps it, read without a message: a thread busy in a wait would
// answer WM_GETTEXT only when the wait ends, once for every window of the process.
std::string Caption(HWND hwnd) {
    wchar_t text[256] = {};
    const int n = ::GetWindowTextW(hwnd, text, 256);
    return Utf8(std::wstring_view(text, n > 0 ? static_cast<size_t>(n) : 0));
}

HWND FindTopLevel(DWORD pid, std::string_view caption, std::string_view className) {
    for (HWND hwnd : TopLevelWindows(pid)) {
        if (Caption(hwnd) == caption && (className.empty() || ClassName(hwnd) == className)) {
            return hwnd;
        }
    }
    return nullptr;
}

HWND WaitForWindow(DWORD pid, std::string_view caption, Millis timeout) {
    HWND found = nullptr;
    (void)WaitUntil([&] { return (found = FindTopLevel(pid, caption)) != nullptr; }, timeout);
    return found;
}

HWND WaitForMainWindow(const Process& process, Millis timeout) {
    HWND found = nullptr;
    (void)WaitUntil(
        [&] {
            for (HWND hwnd : TopLevelWindows(process.Pid())) {
                if (::GetMenu(hwnd) != nullptr && Caption(hwnd) == "Pesora") {
                    found = hwnd;
                    return true;
                }
            }
            return !process.Running();  // no point waiting for a process that has ended
        },
        timeout);
    return found;
}

HWND Control(HWND parent, int id) {
    return ::GetDlgItem(parent, id);
}

bool Visible(HWND hwnd) {
    return ::IsWindowVisible(hwnd) != FALSE;
}

bool Enabled(HWND hwnd) {
    return ::IsWindowEnabled(hwnd) != FALSE;
}

bool Minimized(HWND hwnd) {
    return ::IsIconic(hwnd) != FALSE;
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
    if (!::SendMessageTimeoutA(hwnd, msg, wParam, lParam, SMTO_ABORTIFHUNG, static_cast<UINT>(timeout.count()),
                               &result)) {
        return -1;
    }
    return static_cast<LRESULT>(result);
}

bool Post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return ::PostMessageA(hwnd, msg, wParam, lParam) != FALSE;
}

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

// Asked in UTF-16: Pesora's list is a Unicode window, and Wine hands its rows to an ANSI asker
// from another process unconverted, twice as long as the length it reported. The buffer is far
// larger than any row, so a list rebuilt between the two questions cannot overrun it.
std::vector<std::string> ListRows(HWND listBox) {
    std::vector<std::string> rows;
    const LRESULT count = SendW(listBox, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendW(listBox, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        if (length < 0 || length >= 1024) {
            continue;
        }
        std::wstring text(4096, L'\0');
        const LRESULT got = SendW(listBox, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        text.resize(got > 0 && got < 4096 ? static_cast<size_t>(got) : 0);
        rows.push_back(Utf8(text));
    }
    return rows;
}

int ListSelection(HWND listBox) {
    const LRESULT i = Send(listBox, LB_GETCURSEL);
    return i < 0 ? -1 : static_cast<int>(i);
}

std::vector<std::string> MenuItemTexts(HMENU menu) {
    std::vector<std::string> out;
    const int n = menu != nullptr ? ::GetMenuItemCount(menu) : 0;
    for (int i = 0; i < n; ++i) {
        out.push_back(MenuText(menu, static_cast<UINT>(i)));
    }
    return out;
}

std::vector<UINT> MenuItemIds(HMENU menu) {
    std::vector<UINT> out;
    const int n = menu != nullptr ? ::GetMenuItemCount(menu) : 0;
    for (int i = 0; i < n; ++i) {
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

bool ClickMenu(HWND window, UINT commandId) {
    return Post(window, WM_COMMAND, MAKEWPARAM(commandId, 0), 0);
}

bool CloseBox(HWND window) {
    return Post(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

bool CloseMessage(HWND window) {
    return Post(window, WM_CLOSE);
}

// ---- message boxes ------------------------------------------------------------------------------

HWND WaitForMessageBox(DWORD pid, std::string_view title, Millis timeout) {
    HWND found = nullptr;
    (void)WaitUntil([&] { return (found = FindTopLevel(pid, title, "#32770")) != nullptr; }, timeout);
    return found;
}

std::string MessageBoxText(HWND box) {
    for (HWND child : Children(box)) {
        if (EqualNoCase(ClassName(child), "Static")) {
            std::string text = Text(child);
            if (!text.empty()) {
                return text;
            }
        }
    }
    return {};
}

std::vector<std::string> MessageBoxButtons(HWND box) {
    std::vector<std::string> out;
    for (HWND child : Children(box)) {
        if (EqualNoCase(ClassName(child), "Button")) {
            out.push_back(Text(child));
        }
    }
    return out;
}

// Posts the button's command to the box, as a click on it does; works for a box of another
// process without needing it in the foreground.
bool PressOk(HWND box) {
    for (HWND child : Children(box)) {
        if (EqualNoCase(ClassName(child), "Button") && Text(child) == "OK") {
            const int id = ::GetDlgCtrlID(child);
            return Post(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(child));
        }
    }
    return Post(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

}  // namespace e2e

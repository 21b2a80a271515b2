#include "app/SettingsStore_win.h"

#include <windows.h>

#include <shldisp.h>
#include <shlobj.h>

#include <algorithm>

#include "base/win/Handles_win.h"
#include "app/AnsiCodePage_win.h"

namespace app {

namespace {

constexpr int kCommonAppData = 35; // the shell's special folder number (CSIDL_COMMON_APPDATA)

std::string Narrow(const wchar_t* text) {
    if (text == nullptr || *text == L'\0') {
        return {};
    }
    const int n = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) {
        return {};
    }
    std::string out(static_cast<size_t>(n), '\0');
    (void)::WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

// The shell's automation object, the way the folder has always been found.
std::string FolderFromShellApplication() {
    base::com_ptr<IShellDispatch> shell;
    if (FAILED(::CoCreateInstance(CLSID_Shell, nullptr, CLSCTX_INPROC_SERVER, IID_IShellDispatch,
                                  reinterpret_cast<void**>(shell.put())))) {
        return {};
    }
    VARIANT which;
    ::VariantInit(&which);
    which.vt = VT_I4;
    which.lVal = kCommonAppData;
    base::com_ptr<Folder> folder;
    if (FAILED(shell.get()->NameSpace(which, folder.put())) || !folder) {
        return {};
    }
    base::com_ptr<Folder2> folder2; // Self lives on the second version of the folder object
    if (FAILED(folder.get()->QueryInterface(IID_Folder2, reinterpret_cast<void**>(folder2.put()))) || !folder2) {
        return {};
    }
    base::com_ptr<FolderItem> self;
    if (FAILED(folder2.get()->get_Self(self.put())) || !self) {
        return {};
    }
    base::unique_bstr path;
    if (FAILED(self.get()->get_Path(path.put()))) {
        return {};
    }
    return Narrow(path.get());
}

} // namespace

// Wine has no complete "Shell.Application"; the folder function gives the same folder there.
std::string GetCommonDataFolder() {
    std::string folder = FolderFromShellApplication();
    if (folder.empty()) {
        char buf[MAX_PATH] = {};
        if (SUCCEEDED(::SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buf))) {
            folder = buf;
        }
    }
    while (folder.size() > 3 && folder.back() == '\\') {
        folder.pop_back();
    }
    return folder;
}

namespace {
// Far beyond any settings file; a bigger one is left alone rather than loaded.
constexpr LONGLONG kMaxFileBytes = 64LL * 1024 * 1024;
} // namespace

IniFileStore::IniFileStore(std::string path)
    : _path(std::move(path)),
      _codePage(std::make_unique<AnsiCodePageWin>()),
      _document(std::make_unique<SettingsFileText>(std::string(), *_codePage)) {
    if (_path.empty()) {
        return;
    }
    base::unique_hfile file{::CreateFileA(_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (!file) {
        // A file deleted since it was located is created again by Commit; anything else (a
        // folder in its place, no access) is left alone.
        _usable = ::GetLastError() == ERROR_FILE_NOT_FOUND;
        return;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxFileBytes) {
        return;
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got, nullptr) ||
            got == 0) {
            break;
        }
        done += got;
    }
    if (done != bytes.size()) {
        return; // a file read only in part must not be written back shortened
    }
    _document = std::make_unique<SettingsFileText>(std::move(bytes), *_codePage);
    _usable = true;
}

std::string IniFileStore::Read(std::string_view section, std::string_view key, std::string_view fallback) {
    if (auto value = _document->Get(section, key)) {
        return std::move(*value);
    }
    return std::string(fallback);
}

void IniFileStore::Write(std::string_view section, std::string_view key, std::string_view value) {
    _document->Set(section, key, value);
    _changed = true;
}

bool IniFileStore::Commit() {
    if (!_usable || !_changed || _path.empty()) {
        return _usable || !_changed;
    }
    base::unique_hfile file{::CreateFileA(_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (!file) {
        return false; // read-only or locked: the file stays as it was
    }
    const std::string bytes = _document->Bytes();
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD wrote = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        if (!::WriteFile(file.get(), bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0) {
            return false;
        }
        done += wrote;
    }
    return ::SetEndOfFile(file.get()) != FALSE;
}

std::string SettingsFileSystem::CommonDataFolder() {
    return GetCommonDataFolder();
}

std::string SettingsFileSystem::ShortPathOf(const std::string& path) {
    char buf[1024] = {};
    const DWORD n = ::GetShortPathNameA(path.c_str(), buf, sizeof buf);
    if (n == 0 || n >= sizeof buf) {
        return {};
    }
    return std::string(buf, n);
}

void SettingsFileSystem::CreateFolder(const std::string& path) {
    (void)::CreateDirectoryA(path.c_str(), nullptr); // an existing folder is fine
}

void SettingsFileSystem::CreateEmptyFile(const std::string& path) {
    // OPEN_ALWAYS: an existing file is opened as it is, never truncated.
    base::unique_hfile file{::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
    (void)file;
}

} // namespace app

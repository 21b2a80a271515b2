#include "app/SettingsStore_win.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <algorithm>

#include "app/AnsiCodePage_win.h"
#include "app/FileReplace.h"
#include "base/win/Handles_win.h"
#include "base/win/WinText_win.h"

namespace app {

namespace {

// Paths are held in UTF-8 and used through the wide calls: a folder or program name outside
// the ANSI code page must not turn into another (or no) file.
std::wstring W(const std::string& utf8) {
    return base::win::Utf8ToWide(utf8);
}

}  // namespace

// The all-users application-data folder (C:\ProgramData), the one the shell's automation object
// names as special folder 35, asked of the shell directly: no COM, no shell object at start-up.
std::string GetCommonDataFolder() {
    std::string folder;
    wchar_t buf[MAX_PATH] = {};
    if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buf))) {
        folder = base::win::WideToUtf8(buf);
    }
    while (folder.size() > 3 && folder.back() == '\\') {
        folder.pop_back();
    }
    return folder;
}

namespace {
// Far beyond any settings file; a bigger one is left alone rather than loaded.
constexpr LONGLONG kMaxFileBytes = 64LL * 1024 * 1024;
}  // namespace

IniFileStore::IniFileStore(std::string path)
    : _path(std::move(path)),
      _codePage(std::make_unique<AnsiCodePageWin>()),
      _document(std::make_unique<SettingsFileText>(std::string(), *_codePage)) {
    if (_path.empty()) {
        return;
    }
    base::unique_hfile file{::CreateFileW(W(_path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
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
        return;  // a file read only in part must not be written back shortened
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

namespace {

// The new file takes the old one's place by a rename, which would give it its own inherited
// permissions and drop what an administrator gave the old file (so that every user may save):
// the old file's DACL goes onto the new one first, protected or inheriting as it was. Its
// inherited entries are taken from the folder again. (ReplaceFileW keeps the security as
// well, but a refused replace can leave a temporary file of its own beside the settings.)
void KeepSecurity(const std::wstring& from, std::wstring& to) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (::GetNamedSecurityInfoW(from.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                nullptr, &sd) != ERROR_SUCCESS) {
        return;  // a new file, or one whose permissions cannot be read: it keeps the folder's
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    const bool isProtected = ::GetSecurityDescriptorControl(sd, &control, &revision) && (control & SE_DACL_PROTECTED);
    const SECURITY_INFORMATION info = DACL_SECURITY_INFORMATION | (isProtected ? PROTECTED_DACL_SECURITY_INFORMATION
                                                                               : UNPROTECTED_DACL_SECURITY_INFORMATION);
    (void)::SetNamedSecurityInfoW(to.data(), SE_FILE_OBJECT, info, nullptr, nullptr, dacl, nullptr);
    (void)::LocalFree(sd);
}

// The settings file's folder on disk. The path it is given is the short form; the rename that
// puts the new file in place uses the long form, so that the file keeps its own name.
class DiskReplaceFileSystem final : public IReplaceFileSystem {
  public:
    std::optional<std::string> CreateTempBeside(const std::string& path) override {
        const size_t slash = path.find_last_of('\\');
        const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
        wchar_t temp[MAX_PATH + 16] = {};
        if (::GetTempFileNameW(W(folder).c_str(), L"pes", 0, temp) == 0) {
            return std::nullopt;
        }
        return base::win::WideToUtf8(temp);
    }

    bool WriteAll(const std::string& file, std::string_view bytes) override {
        base::unique_hfile handle{::CreateFileW(W(file).c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                                FILE_ATTRIBUTE_NORMAL, nullptr)};
        if (!handle) {
            return false;
        }
        size_t done = 0;
        while (done < bytes.size()) {
            DWORD wrote = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
            if (!::WriteFile(handle.get(), bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0) {
                return false;
            }
            done += wrote;
        }
        // The new file must be on disk before it replaces the old one.
        return ::FlushFileBuffers(handle.get()) != FALSE;
    }

    bool ReplaceWith(const std::string& path, const std::string& temp) override {
        std::wstring target = W(path);
        wchar_t longPath[1024] = {};
        const DWORD n = ::GetLongPathNameW(target.c_str(), longPath, static_cast<DWORD>(std::size(longPath)));
        if (n != 0 && n < std::size(longPath)) {
            target.assign(longPath, n);
        }
        std::wstring wideTemp = W(temp);
        // Keep what the user set on the old file (hidden, archive); the read-only case never
        // gets here.
        const DWORD attributes = ::GetFileAttributesW(target.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            (void)::SetFileAttributesW(wideTemp.c_str(), attributes);  // cosmetic: a failure keeps the default
            KeepSecurity(target, wideTemp);
        }
        return ::MoveFileExW(wideTemp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
               FALSE;
    }

    void Remove(const std::string& file) override {
        (void)::DeleteFileW(W(file).c_str());  // nothing more can be done about a leftover
    }
};

}  // namespace

// The file is never written in place: a write that fails part way (a full disk, a lost network
// share) would leave the new beginning with the old tail. A read-only file stays as it is, as it
// did when it was opened for writing.
bool IniFileStore::Commit() {
    if (!_usable || !_changed || _path.empty()) {
        return _usable || !_changed;
    }
    const DWORD attributes = ::GetFileAttributesW(W(_path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        return false;
    }
    DiskReplaceFileSystem disk;
    return WriteFileReplacing(disk, _path, _document->Bytes());
}

std::string SettingsFileSystem::CommonDataFolder() {
    return GetCommonDataFolder();
}

std::string SettingsFileSystem::ShortPathOf(const std::string& path) {
    wchar_t buf[1024] = {};
    const DWORD n = ::GetShortPathNameW(W(path).c_str(), buf, static_cast<DWORD>(std::size(buf)));
    if (n == 0 || n >= std::size(buf)) {
        return {};
    }
    return base::win::WideToUtf8(std::wstring_view(buf, n));
}

void SettingsFileSystem::CreateFolder(const std::string& path) {
    // The folder is shared by every user of the machine: besides what ProgramData passes on
    // (read for users, and full control for its creator alone), the machine's users may change
    // what is in it, the settings files included (object and container inherit).
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, FALSE};
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;OICI;0x1301bf;;;BU)", SDDL_REVISION_1, &sd,
                                                               nullptr)) {
        sa.lpSecurityDescriptor = sd;
    }
    (void)::CreateDirectoryW(W(path).c_str(), sd != nullptr ? &sa : nullptr);  // an existing folder is fine
    (void)::LocalFree(sd);
}

void SettingsFileSystem::CreateEmptyFile(const std::string& path) {
    // OPEN_ALWAYS: an existing file is opened as it is, never truncated.
    base::unique_hfile file{::CreateFileW(W(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
    (void)file;
}

}  // namespace app

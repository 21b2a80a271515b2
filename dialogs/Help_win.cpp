// Opening the compiled help file through Windows' HTML Help viewer.
#include "dialogs/Help_win.h"

#include <htmlhelp.h>

#include "base/win/SystemLibrary_win.h"
#include "base/win/WinText_win.h"
#include "dialogs/ProgramInfo.h"

namespace dialogs {
namespace {

void ShowHelpProblem(HWND owner, const std::string& text) {
    (void)::MessageBoxW(owner, base::win::Utf8ToWide(text).c_str(), L"Pesora Help", MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace

HelpViewer::~HelpViewer() {
    // Help windows run inside hhctrl.ocx: close them before the library goes.
    if (_htmlHelp != nullptr) {
        (void)_htmlHelp(nullptr, nullptr, HH_CLOSE_ALL, 0);
    }
    _htmlHelp = nullptr;
    _hhctrl.reset();
    if (_comStarted) {
        ::CoUninitialize();
    }
}

bool HelpViewer::Load() {
    if (_htmlHelp != nullptr) {
        return true;
    }
    // The viewer shows its pages through COM objects on this thread. Started on the first help
    // window rather than with the program, which needs COM for nothing else.
    if (!_comStarted) {
        _comStarted = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    }
    _hhctrl.reset(::LoadLibraryA("hhctrl.ocx"));
    if (!_hhctrl) {
        return false;
    }
    _htmlHelp = base::win::LibraryFunction<HtmlHelpFn>(_hhctrl, "HtmlHelpW");
    if (_htmlHelp == nullptr) {
        _hhctrl.reset();
        return false;
    }
    return true;
}

bool HelpViewer::Show(HWND owner, const std::string& helpFile, std::string_view topic) {
    // Paths are UTF-8 and used wide: the program's folder may lie outside the ANSI code page.
    const DWORD attributes = ::GetFileAttributesW(base::win::Utf8ToWide(helpFile).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        ShowHelpProblem(owner, HelpMissingMessage(helpFile));
        return false;
    }
    if (!Load()) {
        ShowHelpProblem(owner, HelpFailedMessage(helpFile));
        return false;
    }
    std::string target = helpFile;
    if (!topic.empty()) {
        target += "::/";
        target += topic;
    }
    if (_htmlHelp(owner, base::win::Utf8ToWide(target).c_str(), HH_DISPLAY_TOPIC, 0) == nullptr) {
        ShowHelpProblem(owner, HelpFailedMessage(helpFile));
        return false;
    }
    return true;
}

std::string RunningProgramFolder() {
    wchar_t path[MAX_PATH * 2]{};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    if (length == 0 || length >= std::size(path)) {
        return {};
    }
    std::string folder = base::win::WideToUtf8(std::wstring_view(path, length));
    const size_t slash = folder.find_last_of("\\/");
    if (slash == std::string::npos) {
        return {};
    }
    // A drive root keeps its "\" ("C:\"), any other folder loses it.
    folder.resize(slash == 2 && folder[1] == ':' ? slash + 1 : slash);
    return folder;
}

}  // namespace dialogs

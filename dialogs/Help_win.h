#pragma once
#include <windows.h>

#include <string>
#include <string_view>

#include "base/win/Handles_win.h"

namespace dialogs {

// Opens the compiled help file. The viewer (hhctrl.ocx) is loaded on first use, so the
// program does not import it, and stays loaded while help windows may be open.
class HelpViewer {
  public:
    HelpViewer() = default;
    HelpViewer(const HelpViewer&) = delete;
    HelpViewer& operator=(const HelpViewer&) = delete;
    ~HelpViewer();

    // Shows `helpFile` at its default topic, or at `topic` (a page inside it, such as
    // "settings.htm"). A missing file or viewer is reported in a message box over `owner`;
    // returns whether the viewer opened.
    bool Show(HWND owner, const std::string& helpFile, std::string_view topic = {});

  private:
    using HtmlHelpFn = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);
    bool Load();

    bool _comStarted = false;  // for the viewer only: the program needs COM for nothing else
    base::unique_hmodule _hhctrl;
    HtmlHelpFn _htmlHelp = nullptr;
};

// The folder of the running executable (no trailing "\" unless a drive root).
[[nodiscard]] std::string RunningProgramFolder();

}  // namespace dialogs

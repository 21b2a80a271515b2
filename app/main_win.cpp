// Pesora's entry point: identify the running copy, build the main window (whose creation runs
// start-up) and pump messages until shutdown ends the process.
#include <windows.h>

#include <commctrl.h>

#include "app/CommandLine.h"
#include "app/MainWindow_win.h"
#include "base/win/Handles_win.h"
#include "base/win/MessagePump_win.h"
#include "base/win/WinText_win.h"

namespace {

// The executable's path and its file name as the file system spells it: the name a copy was
// saved under decides its settings file and its run-once entry. Read wide and held in UTF-8:
// a folder outside the ANSI code page ("C:\Users\Łukasz") must still name itself.
app::ProgramIdentity IdentifyRunningProgram() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    std::string onDisk;
    WIN32_FIND_DATAW found{};
    if (const base::unique_hfind find{::FindFirstFileW(path.c_str(), &found)}; find) {
        onDisk = base::win::WideToUtf8(found.cFileName);
    }
    return app::IdentifyProgram(base::win::WideToUtf8(path), onDisk);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // No COM here: only the help viewer needs it, and starts it when first opened.
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    (void)::InitCommonControlsEx(&icc);

    int exitCode = 0;
    {
        app::MainWindow form(instance, IdentifyRunningProgram());
        if (form.Create(app::ArgumentsOf(::GetCommandLineA()))) {
            exitCode = base::win::RunMessageLoop();
        }
    }
    return exitCode;
}

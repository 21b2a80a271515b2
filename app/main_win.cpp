// Pesora's entry point: identify the running copy, build the main window (whose creation runs
// start-up) and pump messages until shutdown ends the process.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include "app/CommandLine.h"
#include "app/MainWindow_win.h"
#include "base/win/Handles_win.h"
#include "base/win/MessagePump_win.h"

namespace {

// The executable's path and its file name as the file system spells it: the name a copy was
// saved under decides its settings file and its run-once entry.
app::ProgramIdentity IdentifyRunningProgram() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    std::string onDisk;
    WIN32_FIND_DATAA found{};
    if (const base::unique_hfind find{::FindFirstFileA(path.c_str(), &found)}; find) {
        onDisk = found.cFileName;
    }
    return app::IdentifyProgram(path, onDisk);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The settings folder comes from the shell's automation object, which needs COM.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    (void)::InitCommonControlsEx(&icc);

    int exitCode = 0;
    {
        app::MainWindow form(instance, IdentifyRunningProgram());
        if (form.Create(app::ArgumentsOf(::GetCommandLineA()))) {
            exitCode = base::win::RunMessageLoop();
        }
    }
    if (SUCCEEDED(com)) {
        ::CoUninitialize();
    }
    return exitCode;
}

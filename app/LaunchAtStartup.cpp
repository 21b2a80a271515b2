#include "app/LaunchAtStartup.h"

namespace app {

// The system runs the entry as a command line: unquoted, C:\Program Files\Pesora\Pesora.EXE
// would first be tried as C:\Program.exe, which anyone able to write there could plant. A path
// with a blank is therefore quoted; one without stays as entries have always been written. The
// extension is written in capitals as the entry has always been.
std::string RunOnceCommand(std::string_view programFolder, std::string_view exeName) {
    std::string path(programFolder);
    if (path.empty() || path.back() != '\\') {
        path += '\\';
    }
    path += exeName;
    path += ".EXE";
    if (path.find_first_of(" \t") == std::string::npos) {
        return path;
    }
    return "\"" + path + "\"";
}

std::string_view StartupKeyPath(bool everyLogOn) {
    return everyLogOn ? kRunKey : kRunOnceKey;
}

}  // namespace app

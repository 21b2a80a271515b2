#include "app/LaunchAtStartup.h"

namespace app {

// The system runs the entry as it stands, so no quotes are added even for a folder with
// blanks; the extension is written in capitals as the entry has always been.
std::string RunOnceCommand(std::string_view programFolder, std::string_view exeName) {
    std::string command(programFolder);
    if (command.empty() || command.back() != '\\') {
        command += '\\';
    }
    command += exeName;
    command += ".EXE";
    return command;
}

std::string_view StartupKeyPath(bool everyLogOn) {
    return everyLogOn ? kRunKey : kRunOnceKey;
}

} // namespace app

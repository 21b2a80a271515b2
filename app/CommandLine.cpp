#include "app/CommandLine.h"

namespace app {

bool HasHideSwitch(std::string_view arguments) {
    for (size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == '-' && (arguments[i + 1] == 'h' || arguments[i + 1] == 'H')) {
            return true;
        }
    }
    return false;
}

// The program's name is skipped the way the system splits it: up to the closing quote when it
// starts with one, otherwise up to the first blank. A folder such as C:\My-Hidden\ in the
// program's own path must not count as "-H".
std::string_view ArgumentsOf(std::string_view commandLine) {
    size_t i = 0;
    if (!commandLine.empty() && commandLine[0] == '"') {
        const size_t close = commandLine.find('"', 1);
        i = close == std::string_view::npos ? commandLine.size() : close + 1;
    } else {
        while (i < commandLine.size() && commandLine[i] != ' ' && commandLine[i] != '\t') {
            ++i;
        }
    }
    while (i < commandLine.size() && (commandLine[i] == ' ' || commandLine[i] == '\t')) {
        ++i;
    }
    return commandLine.substr(i);
}

}  // namespace app

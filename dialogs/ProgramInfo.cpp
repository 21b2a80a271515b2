#include "dialogs/ProgramInfo.h"

namespace dialogs {

// Joined so that a drive root does not give "C:\\PesoraHelp.chm".
std::string HelpFilePath(std::string_view programFolder) {
    std::string path(programFolder);
    if (!path.empty() && path.back() != '\\' && path.back() != '/') {
        path += '\\';
    }
    path += kHelpFileName;
    return path;
}

std::string HelpMissingMessage(std::string_view helpFile) {
    std::string text = "The help file could not be found:\r\n\r\n";
    text += helpFile;
    text += "\r\n\r\nReinstall Pesora, or copy PesoraHelp.chm into the folder that holds the program.";
    return text;
}

std::string HelpFailedMessage(std::string_view helpFile) {
    std::string text = "The help file could not be opened:\r\n\r\n";
    text += helpFile;
    text += "\r\n\r\nWindows' HTML Help viewer (hhctrl.ocx) is missing or could not show the file.";
    return text;
}

std::string AboutVersionText(uint16_t major, uint16_t minor, uint16_t revision) {
    return "Pesora v" + std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(revision);
}

}  // namespace dialogs

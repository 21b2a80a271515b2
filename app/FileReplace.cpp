#include "app/FileReplace.h"

namespace app {

bool WriteFileReplacing(IReplaceFileSystem& fs, const std::string& path, std::string_view bytes) {
    const std::optional<std::string> temp = fs.CreateTempBeside(path);
    if (!temp) {
        return false;
    }
    if (fs.WriteAll(*temp, bytes) && fs.ReplaceWith(path, *temp)) {
        return true;
    }
    fs.Remove(*temp);
    return false;
}

}  // namespace app

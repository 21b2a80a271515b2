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

} // namespace app

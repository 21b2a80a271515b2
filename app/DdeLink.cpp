#include "app/DdeLink.h"

namespace app {

std::string BuildLinkFormat(std::string_view topic) {
    std::string bytes;
    for (std::string_view part : {kDdeApplication, topic, kDdeItem}) {
        bytes.append(part);
        bytes.push_back('\0');
    }
    bytes.push_back('\0');
    return bytes;
}

}  // namespace app

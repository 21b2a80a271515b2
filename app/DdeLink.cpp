#include "app/DdeLink.h"

#include <algorithm>

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

std::string LinkNotation(std::string_view topic) {
    std::string text(kDdeApplication);
    text += '|';
    text += topic;
    text += '!';
    text += kDdeItem;
    return text;
}

bool DdeNameEquals(std::string_view a, std::string_view b) {
    auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

} // namespace app

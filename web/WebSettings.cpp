#include "web/WebSettings.h"

#include <algorithm>

namespace web {

uint16_t WebPortFromSetting(int32_t value) {
    return value >= 1 && value <= 65535 ? static_cast<uint16_t>(value) : 0;
}

std::vector<std::string> SplitOrigins(std::string_view text) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < text.size()) {
        const size_t start = text.find_first_not_of(" \t", i);
        if (start == std::string_view::npos) {
            break;
        }
        size_t end = text.find_first_of(" \t", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string origin(text.substr(start, end - start));
        if (std::find(out.begin(), out.end(), origin) == out.end()) {
            out.push_back(std::move(origin));
        }
        i = end;
    }
    return out;
}

WebConfig WebConfigFromSettings(int32_t webPort, std::string_view webOrigins) {
    return WebConfig{WebPortFromSetting(webPort), SplitOrigins(webOrigins)};
}

}  // namespace web

namespace web {

std::string ListeningText(uint16_t port) {
    return "Web endpoint: http://localhost:" + std::to_string(port);
}

std::string PortTakenText(uint16_t port) {
    return "Web port " + std::to_string(port) + " is in use by another program";
}

std::string StatusLineText(std::string_view scaleCaption, std::string_view webNotice) {
    return std::string(scaleCaption.empty() ? webNotice : scaleCaption);
}

std::string StartFailedText(uint16_t port) {
    return "Web endpoint could not start on port " + std::to_string(port);
}

}  // namespace web

#include "web/WebSettings.h"

#include <algorithm>

namespace web {

uint16_t WebPortFromSetting(int32_t value) {
    return value >= 1 && value <= 65535 ? static_cast<uint16_t>(value) : 0;
}

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

bool IsAll(std::string_view s, std::string_view chars) {
    return s.find_first_not_of(chars) == std::string_view::npos;
}

constexpr std::string_view kDigits = "0123456789";
constexpr std::string_view kSchemeChars = "abcdefghijklmnopqrstuvwxyz0123456789+-.";
// Letters, digits and the marks a host name or an IPv6 literal is written with.
constexpr std::string_view kHostChars = "abcdefghijklmnopqrstuvwxyz0123456789-._~[]:";

void AddOnce(std::vector<std::string>& list, std::string entry) {
    if (std::find(list.begin(), list.end(), entry) == list.end()) {
        list.push_back(std::move(entry));
    }
}

}  // namespace

std::optional<std::string> NormalOrigin(std::string_view entry) {
    const size_t sep = entry.find("://");
    if (sep == std::string_view::npos || sep == 0) {
        return std::nullopt;  // "null", "*", a bare host name
    }
    const std::string scheme = Lower(entry.substr(0, sep));
    std::string_view rest = entry.substr(sep + 3);
    if (!rest.empty() && rest.back() == '/') {
        rest.remove_suffix(1);
    }
    if (!IsAll(scheme, kSchemeChars) || scheme.front() < 'a' || rest.empty()) {
        return std::nullopt;
    }
    // The port follows the last colon outside an IPv6 literal's brackets.
    const size_t close = rest.rfind(']');
    size_t colon = rest.rfind(':');
    if (colon != std::string_view::npos && close != std::string_view::npos && colon < close) {
        colon = std::string_view::npos;
    }
    std::string host = Lower(rest.substr(0, colon));
    std::string_view port = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    if (host.empty() || !IsAll(host, kHostChars) || !IsAll(port, kDigits) || port.size() > 5) {
        return std::nullopt;  // a path, a query, a user name, a wildcard
    }
    if (host.front() == '[' ? host.back() != ']' : host.find_first_of("[]:") != std::string::npos) {
        return std::nullopt;
    }
    std::string origin = scheme + "://" + host;
    if (!port.empty()) {
        const long number = std::stol(std::string(port));
        const bool isDefault = (scheme == "http" && number == 80) || (scheme == "https" && number == 443);
        if (number < 1 || number > 65535) {
            return std::nullopt;
        }
        if (!isDefault) {
            origin += ":" + std::to_string(number);
        }
    }
    return origin;
}

OriginList SplitOrigins(std::string_view text) {
    OriginList out;
    constexpr std::string_view kSeparators = " \t,";
    for (size_t start = text.find_first_not_of(kSeparators); start != std::string_view::npos;) {
        const size_t end = std::min(text.find_first_of(kSeparators, start), text.size());
        const std::string_view entry = text.substr(start, end - start);
        if (auto origin = NormalOrigin(entry)) {
            AddOnce(out.allowed, std::move(*origin));
        } else {
            AddOnce(out.refused, std::string(entry));
        }
        start = text.find_first_not_of(kSeparators, end);
    }
    return out;
}

WebConfig WebConfigFromSettings(int32_t webPort, std::string_view webOrigins) {
    OriginList origins = SplitOrigins(webOrigins);
    return WebConfig{WebPortFromSetting(webPort), std::move(origins.allowed), std::move(origins.refused)};
}

}  // namespace web

namespace web {

std::string ListeningText(uint16_t port, const std::vector<std::string>& refused) {
    std::string text = "Web endpoint: http://localhost:" + std::to_string(port);
    for (size_t i = 0; i < refused.size(); ++i) {
        text += (i == 0 ? "; WebOrigins refused: " : ", ") + refused[i];
    }
    return text;
}

std::string PortTakenText(uint16_t port) {
    return "Web port " + std::to_string(port) + " is in use by another program";
}

std::string PortReservedText(uint16_t port) {
    return "Web port " + std::to_string(port) + " is reserved by Windows";
}

std::string StatusLineText(std::string_view scaleCaption, std::string_view webNotice) {
    return std::string(scaleCaption.empty() ? webNotice : scaleCaption);
}

std::string StartFailedText(uint16_t port) {
    return "Web endpoint could not start on port " + std::to_string(port);
}

}  // namespace web

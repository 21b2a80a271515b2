#include "devices/DeviceIdKey.h"

#include <vector>

#include "base/TextUtil.h"

namespace devices {

namespace {

// Splits at every occurrence of `sep`; empty pieces are kept, as the tag search and the
// fallback both count positions the way the identifiers are written.
std::vector<std::string_view> Split(std::string_view text, char sep) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(sep, start);
        if (at == std::string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
}

// The rest of the first token that begins with tag + "_", or nothing.
bool FindTagValue(const std::vector<std::string_view>& tokens, std::string_view tag, std::string_view& value) {
    for (std::string_view token : tokens) {
        if (token.size() >= tag.size() + 1 && token.substr(0, tag.size()) == tag && token[tag.size()] == '_') {
            value = token.substr(tag.size() + 1);
            return true;
        }
    }
    return false;
}

}  // namespace

std::string ParseDeviceIdKey(std::string_view id, std::string_view pattern) {
    std::string upper = base::UpperAscii(id);
    for (char& c : upper) {
        if (c == '\\' || c == '&' || c == '#') {
            c = ' ';
        }
    }
    const std::vector<std::string_view> tokens = Split(upper, ' ');

    std::string key;
    for (std::string_view alternative : Split(pattern, '|')) {
        for (std::string_view tag : Split(alternative, ' ')) {
            std::string_view value;
            if (!FindTagValue(tokens, tag, value)) {
                break;  // a missing later tag keeps what the earlier ones gave
            }
            key.append(value);
        }
        if (!key.empty()) {
            return key;
        }
    }

    // No tags at all: the identifier's second significant token names the device best (the
    // first is the bus, as in ACPI\PNP0303\...).
    int seen = 0;
    for (std::string_view token : tokens) {
        if (token.empty() || token == "??" || token == "0000") {
            continue;
        }
        key.assign(token);
        if (++seen == 2) {
            break;
        }
    }
    return key;
}

}  // namespace devices

#pragma once
// The two settings of the web endpoint, as stored texts and as what the server uses.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace web {

struct WebConfig {
    uint16_t port = 0;                 // 0: the endpoint is off
    std::vector<std::string> origins;  // allowed web origins, as a browser writes them
    std::vector<std::string> refused;  // WebOrigins entries that are no origin to allow, as typed

    bool operator==(const WebConfig&) const = default;
};

// WebPort: 1 to 65535 is the port; 0, anything out of range or not a whole number is off.
[[nodiscard]] uint16_t WebPortFromSetting(int32_t value);
// One WebOrigins entry in the form a browser sends in Origin: scheme and host in lower case, the
// scheme's default port and a trailing slash dropped ("HTTPS://Ship.example:443/" is
// "https://ship.example"). None for what allows no page, or every page: "null" (sandboxed frames
// and file:// pages of any site send it), "*", an entry with a path, query or user name, or one
// that is no URL of a host.
[[nodiscard]] std::optional<std::string> NormalOrigin(std::string_view entry);
// WebOrigins: entries separated by blanks (spaces or tabs) or commas, empty ones dropped, order
// kept, duplicates once; into the allowed origins and the refused entries.
struct OriginList {
    std::vector<std::string> allowed;
    std::vector<std::string> refused;
    bool operator==(const OriginList&) const = default;
};
[[nodiscard]] OriginList SplitOrigins(std::string_view text);
[[nodiscard]] WebConfig WebConfigFromSettings(int32_t webPort, std::string_view webOrigins);

}  // namespace web

namespace web {

// Status-line texts: the endpoint started (naming the WebOrigins entries it refused), or could
// not take its port.
[[nodiscard]] std::string ListeningText(uint16_t port, const std::vector<std::string>& refused = {});
[[nodiscard]] std::string PortTakenText(uint16_t port);
[[nodiscard]] std::string PortReservedText(uint16_t port);
[[nodiscard]] std::string StartFailedText(uint16_t port);

// The status line with the endpoint's notice: the read cycle rewrites the line every tick, so a
// notice shown once would vanish at once. It shows whenever the scale has nothing to say (a
// stable weight); the scale's own words ("Scale In Motion", "Scale Not Found") always win.
[[nodiscard]] std::string StatusLineText(std::string_view scaleCaption, std::string_view webNotice);

}  // namespace web

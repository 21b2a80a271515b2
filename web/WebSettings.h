#pragma once
// The two settings of the web endpoint, as stored texts and as what the server uses.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace web {

struct WebConfig {
    uint16_t port = 0;                 // 0: the endpoint is off
    std::vector<std::string> origins;  // allowed web origins, exact texts

    bool operator==(const WebConfig&) const = default;
};

// WebPort: 1 to 65535 is the port; 0, anything out of range or not a whole number is off.
[[nodiscard]] uint16_t WebPortFromSetting(int32_t value);
// WebOrigins: origins separated by blanks (spaces or tabs), empty entries dropped, order kept,
// duplicates once.
[[nodiscard]] std::vector<std::string> SplitOrigins(std::string_view text);
[[nodiscard]] WebConfig WebConfigFromSettings(int32_t webPort, std::string_view webOrigins);

}  // namespace web

namespace web {

// Status-line texts: the endpoint started, or could not take its port.
[[nodiscard]] std::string ListeningText(uint16_t port);
[[nodiscard]] std::string PortTakenText(uint16_t port);
[[nodiscard]] std::string StartFailedText(uint16_t port);

// The status line with the endpoint's notice: the read cycle rewrites the line every tick, so a
// notice shown once would vanish at once. It shows whenever the scale has nothing to say (a
// stable weight); the scale's own words ("Scale In Motion", "Scale Not Found") always win.
[[nodiscard]] std::string StatusLineText(std::string_view scaleCaption, std::string_view webNotice);

}  // namespace web

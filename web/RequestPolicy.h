#pragma once
// Who may ask the web endpoint what. A page on any other site must neither read the weight nor
// zero the scale:
//  - the Host header must name the loopback address or localhost, so a foreign name that an
//    attacker's DNS points at 127.0.0.1 (DNS rebinding) gets nothing;
//  - a request that carries an Origin (every cross-site request a browser makes, and every POST)
//    is served only when that origin is one of the allowed ones, exactly as written;
//  - CORS headers go to allowed origins only, so no other page can read an answer;
//  - POST /zero needs an allowed origin or no Origin at all (a local tool such as curl).
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace web {

enum class Route { Weight, Events, Zero, Preflight, Refused };

struct RequestHead {
    std::string_view method;  // "GET", "POST", "OPTIONS"...
    std::string_view target;  // "/weight", "/weight?x=1"...
    std::optional<std::string_view> host;
    std::optional<std::string_view> origin;
    bool privateNetworkPreflight = false;  // Access-Control-Request-Private-Network: true
};

struct Decision {
    Route route = Route::Refused;
    int status = 403;                                          // for Refused and Preflight; 200 otherwise
    std::vector<std::pair<std::string, std::string>> headers;  // CORS and Allow headers to add
};

// True for 127.0.0.1, [::1] and localhost (any letter case), each with an optional :port.
[[nodiscard]] bool IsLoopbackHost(std::string_view host);

// The decision for one request, given the allowed origins (exact texts such as
// "https://ship.example" or "http://localhost:3000").
[[nodiscard]] Decision Decide(const RequestHead& request, const std::vector<std::string>& allowedOrigins);

}  // namespace web

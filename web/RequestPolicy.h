#pragma once
// Who may ask the web endpoint what. A page on any other site must neither read the weight nor
// zero the scale:
//  - the Host header must name the loopback address or localhost, so a foreign name that an
//    attacker's DNS points at 127.0.0.1 (DNS rebinding) gets nothing;
//  - a request that carries an Origin (every cross-site request a browser makes, and every POST)
//    is served only when that origin is one of the allowed ones, exactly as written;
//  - CORS headers go to allowed origins only, so no other page can read an answer;
//  - POST /zero needs an allowed origin or no Origin at all (a local tool such as curl);
//  - a browser's cross-site request without an allowed Origin (a frame or a link of another
//    site: Sec-Fetch-Site says so) is refused.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace web {

enum class Route { Info, Weight, Events, Zero, Preflight, Refused };

struct RequestHead {
    std::string_view method;  // "GET", "HEAD", "POST", "OPTIONS"...
    std::string_view target;  // "/weight", "/weight?x=1"...
    std::optional<std::string_view> host;
    std::optional<std::string_view> origin;
    bool privateNetworkPreflight = false;       // Access-Control-Request-Private-Network: true
    std::optional<std::string_view> fetchSite;  // Sec-Fetch-Site
};

struct Decision {
    Route route = Route::Refused;
    int status = 403;                                          // for Refused and Preflight; 200 otherwise
    bool headOnly = false;                                     // HEAD: the answer GET would get, without its body
    std::vector<std::pair<std::string, std::string>> headers;  // CORS and Allow headers to add
};

// Room for connections. Pages, scripts and forgotten tabs can hold many connections that ask
// nothing, or streams no allowed page asked for; none of them may crowd out an allowed page.
// Streams without an allowed Origin (a local tool, a navigation) have this many of their own.
inline constexpr int kStreamsWithoutOrigin = 4;

enum class Admission { Accept, CloseIdleFirst, Refuse };
struct Connections {
    int open = 0;                  // all of them, streams included
    int idle = 0;                  // waiting for a request, a first one or the next
    int streamsWithoutOrigin = 0;  // event streams of requests without an allowed Origin
};
// A new connection: taken under the cap; at the cap the longest idle one is closed to make room;
// refused when none is idle.
[[nodiscard]] Admission AdmitConnection(const Connections& now, int cap);
// A request for a stream on a connection already taken: one of an allowed origin always starts;
// others only within their share.
[[nodiscard]] Admission AdmitStream(const Connections& now, bool originAllowed);

// True for 127.0.0.1, [::1] and localhost (any letter case), each with an optional :port.
[[nodiscard]] bool IsLoopbackHost(std::string_view host);

// The decision for one request, given the allowed origins (as browsers write them, such as
// "https://ship.example" or "http://localhost:3000").
[[nodiscard]] Decision Decide(const RequestHead& request, const std::vector<std::string>& allowedOrigins);

}  // namespace web

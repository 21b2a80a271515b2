#include "web/RequestPolicy.h"

#include <algorithm>

namespace web {
namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// ":1" to ":65535"; an empty port (a bare ":") or a leading zero run like ":00080" is refused
// along with anything that is not a port, since no browser sends them.
bool IsPortSuffix(std::string_view s) {
    if (s.empty()) {
        return true;
    }
    if (s.front() != ':' || s.size() < 2 || s.size() > 6 || s[1] == '0') {
        return false;
    }
    long port = 0;
    for (char c : s.substr(1)) {
        if (c < '0' || c > '9') {
            return false;
        }
        port = port * 10 + (c - '0');
    }
    return port >= 1 && port <= 65535;
}

std::string_view PathOf(std::string_view target) {
    return target.substr(0, target.find_first_of("?#"));
}

constexpr std::string_view kAllowedMethods = "GET, HEAD, POST, OPTIONS";

Decision Refuse(int status) {
    Decision d;
    d.route = Route::Refused;
    d.status = status;
    return d;
}

}  // namespace

bool IsLoopbackHost(std::string_view host) {
    for (std::string_view name :
         {std::string_view("127.0.0.1"), std::string_view("[::1]"), std::string_view("localhost")}) {
        if (host.size() >= name.size() && EqualsNoCase(host.substr(0, name.size()), name) &&
            IsPortSuffix(host.substr(name.size()))) {
            return true;
        }
    }
    return false;
}

Admission AdmitConnection(const Connections& now, int cap) {
    if (now.open < cap) {
        return Admission::Accept;
    }
    return now.idle > 0 ? Admission::CloseIdleFirst : Admission::Refuse;
}

Admission AdmitStream(const Connections& now, bool originAllowed) {
    return originAllowed || now.streamsWithoutOrigin < kStreamsWithoutOrigin ? Admission::Accept : Admission::Refuse;
}

Decision Decide(const RequestHead& request, const std::vector<std::string>& allowedOrigins) {
    if (!request.host) {
        return Refuse(400);  // HTTP/1.1 requires it; without it nothing can be checked
    }
    if (!IsLoopbackHost(*request.host)) {
        return Refuse(403);
    }
    const bool originAllowed = request.origin && std::find(allowedOrigins.begin(), allowedOrigins.end(),
                                                           *request.origin) != allowedOrigins.end();
    if (request.origin && !originAllowed) {
        return Refuse(403);  // no CORS headers: the page learns nothing, not even the status
    }
    if (!originAllowed && request.fetchSite == "cross-site") {
        return Refuse(403);  // another site's frame, link or image
    }

    const std::string_view path = PathOf(request.target);
    Route route;
    std::string_view method;
    if (path == "/") {
        route = Route::Info, method = "GET";
    } else if (path == "/weight") {
        route = Route::Weight, method = "GET";
    } else if (path == "/events") {
        route = Route::Events, method = "GET";
    } else if (path == "/zero") {
        route = Route::Zero, method = "POST";
    } else {
        return Refuse(404);
    }

    Decision d;
    if (originAllowed) {
        d.headers.emplace_back("Access-Control-Allow-Origin", std::string(*request.origin));
        d.headers.emplace_back("Vary", "Origin");
    }
    if (request.method == "OPTIONS") {
        d.route = Route::Preflight;
        d.status = 204;
        if (originAllowed) {
            d.headers.emplace_back("Access-Control-Allow-Methods", std::string(kAllowedMethods));
            d.headers.emplace_back("Access-Control-Allow-Headers", "Content-Type, Last-Event-ID");
            d.headers.emplace_back("Access-Control-Max-Age", "600");
            // A public page reaching a loopback address asks this first (private network access).
            if (request.privateNetworkPreflight) {
                d.headers.emplace_back("Access-Control-Allow-Private-Network", "true");
            }
        } else {
            d.headers.emplace_back("Allow", std::string(kAllowedMethods));
        }
        return d;
    }
    d.headOnly = request.method == "HEAD" && method == "GET";
    if (request.method != method && !d.headOnly) {
        d.route = Route::Refused;
        d.status = 405;
        d.headers.emplace_back("Allow", std::string(method == "GET" ? "GET, HEAD" : method) + ", OPTIONS");
        return d;
    }
    d.route = route;
    d.status = route == Route::Zero ? 204 : 200;
    return d;
}

}  // namespace web

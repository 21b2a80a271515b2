#pragma once
// Server-Sent Events framing for the /events stream.
#include <chrono>
#include <string>
#include <string_view>

namespace web {

// A comment line at this interval keeps proxies and browsers from closing a quiet stream.
inline constexpr std::chrono::seconds kKeepAliveInterval{15};

// The first bytes of a stream: how soon a browser reconnects after losing it.
[[nodiscard]] std::string SseStreamStart();
// One event: a "data:" line per line of `payload` (JSON never has more than one), then the blank
// line that ends the event. A CR, LF or CR LF in the payload starts a new data line, so a
// payload can never end the event early or inject a field of its own.
[[nodiscard]] std::string SseEvent(std::string_view payload);
// The same with an event type ("event: sent"), which a page listens for by name.
[[nodiscard]] std::string SseEvent(std::string_view type, std::string_view payload);
[[nodiscard]] std::string SseKeepAlive();

}  // namespace web

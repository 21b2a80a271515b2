#pragma once
// Server-Sent Events framing for the /events stream.
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace web {

// A heartbeat event at this interval keeps proxies and browsers from closing a quiet stream, and
// tells a page that Pesora still answers while the weight stands still.
inline constexpr std::chrono::seconds kKeepAliveInterval{15};

// The first bytes of a stream: how soon a browser reconnects after losing it.
[[nodiscard]] std::string SseStreamStart();
// One event: a "data:" line per line of `payload` (JSON never has more than one), then the blank
// line that ends the event. A CR, LF or CR LF in the payload starts a new data line, so a
// payload can never end the event early or inject a field of its own.
[[nodiscard]] std::string SseEvent(std::string_view payload);
// The same with an event type ("event: sent"), which a page listens for by name.
[[nodiscard]] std::string SseEvent(std::string_view type, std::string_view payload);
// event: heartbeat, with {"time":"..."}: a page listens for it by name; it never reaches onmessage.
[[nodiscard]] std::string SseHeartbeat(int64_t msSinceEpoch);

}  // namespace web

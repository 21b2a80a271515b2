#pragma once
// The log-on sessions of this program and of the programs at the other end of the endpoint's
// sockets, as Windows tells them.
#include <cstdint>
#include <optional>

#include "web/Sessions.h"

namespace web {

[[nodiscard]] uint32_t OwnSession();
// Whether a session of another user may exist (any but this one and the services'): only then
// is a client's session worth looking up.
[[nodiscard]] bool OtherSessionsExist(uint32_t ownSession);
// The session of the program at the client's end of an accepted connection (both ends IPv6 or
// both IPv4); none when Windows does not say.
[[nodiscard]] std::optional<uint32_t> ClientSession(const SocketEnd& server, const SocketEnd& client, bool v6);
// The session of a program that listens on `port`.
[[nodiscard]] std::optional<uint32_t> ListenerSession(uint16_t port);

}  // namespace web

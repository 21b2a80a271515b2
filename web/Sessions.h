#pragma once
// Terminal servers and fast user switching: every log-on session shares the loopback addresses,
// so a page in one user's session reaches whichever copy of Pesora holds the port, whoever's it
// is. The copy that holds the port serves its own session only, and tells a page of another one
// why; the copy that finds its port taken names the session that holds it.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace web {

// One end of a TCP connection: the address in network order (an IPv4 one in its first four
// bytes) and the port.
struct SocketEnd {
    std::array<uint8_t, 16> address{};
    uint16_t port = 0;
    bool operator==(const SocketEnd&) const = default;
};

// A row of the system's table of TCP sockets: the socket's own end, the end it is connected to
// (zero for a listener), and the process that owns it (0 where the system does not say).
struct ConnectionRow {
    SocketEnd local;
    SocketEnd remote;
    uint32_t pid = 0;
};

// The process at the client's end of a connection the server accepted, whose own end is
// `server`: the socket whose own end is `client` and that is connected to `server`. The server's
// socket of the same connection is the other way round, and belongs to Pesora itself. None when
// no row says.
[[nodiscard]] std::optional<uint32_t> ClientProcess(const std::vector<ConnectionRow>& rows,
                                                    const SocketEnd& server,
                                                    const SocketEnd& client);

// Whether the endpoint serves a client of `clientSession`: its own session's programs and
// services (session 0) are served; another user's session is not, as its page would read and
// zero this user's scale. A client whose session cannot be told is served.
[[nodiscard]] bool ServesSession(uint32_t ownSession, std::optional<uint32_t> clientSession);

// The answer to a client of another session, so that its page can say why.
inline constexpr std::string_view kOtherSessionError = "this Pesora belongs to another session";

// The status line when the port is taken: naming the session that holds it when that is
// another one, else PortTakenText.
[[nodiscard]] std::string PortTakenText(uint16_t port, uint32_t ownSession, std::optional<uint32_t> holderSession);

}  // namespace web

#include "web/Sessions.h"

#include <algorithm>

#include "web/WebSettings.h"

namespace web {

std::optional<uint32_t> ClientProcess(const std::vector<ConnectionRow>& rows,
                                      const SocketEnd& server,
                                      const SocketEnd& client) {
    const auto row = std::find_if(rows.begin(), rows.end(),
                                  [&](const ConnectionRow& r) { return r.local == client && r.remote == server; });
    if (row == rows.end() || row->pid == 0) {
        return std::nullopt;
    }
    return row->pid;
}

bool ServesSession(uint32_t ownSession, std::optional<uint32_t> clientSession) {
    return !clientSession || *clientSession == ownSession || *clientSession == 0;
}

std::string PortTakenText(uint16_t port, uint32_t ownSession, std::optional<uint32_t> holderSession) {
    if (!holderSession || *holderSession == ownSession) {
        return PortTakenText(port);
    }
    return "Web port " + std::to_string(port) + " is in use by another session (" + std::to_string(*holderSession) +
           ")";
}

}  // namespace web

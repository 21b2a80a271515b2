// winsock2.h before windows.h; iphlpapi.h wants both.
#include <winsock2.h>
#include <ws2ipdef.h>

#include <windows.h>

#include <iphlpapi.h>
#include <wtsapi32.h>

#include "web/Sessions_win.h"

#include <cstring>
#include <vector>

#include "base/UniqueResource.h"
#include "base/win/Handles_win.h"
#include "base/win/SystemLibrary_win.h"

namespace web {

namespace {

// The two libraries are loaded when first needed, not at start: most copies never see a second
// session.
using base::win::LibraryFunction;

struct Libraries {
    base::unique_hmodule wtsapi = base::win::LoadSystemLibrary(L"wtsapi32.dll");
    base::unique_hmodule iphlpapi = base::win::LoadSystemLibrary(L"iphlpapi.dll");
    decltype(&::WTSEnumerateSessionsW) enumerateSessions =
        LibraryFunction<decltype(&::WTSEnumerateSessionsW)>(wtsapi, "WTSEnumerateSessionsW");
    decltype(&::WTSEnumerateProcessesW) enumerateProcesses =
        LibraryFunction<decltype(&::WTSEnumerateProcessesW)>(wtsapi, "WTSEnumerateProcessesW");
    decltype(&::WTSFreeMemory) freeMemory = LibraryFunction<decltype(&::WTSFreeMemory)>(wtsapi, "WTSFreeMemory");
    decltype(&::GetExtendedTcpTable) tcpTable =
        LibraryFunction<decltype(&::GetExtendedTcpTable)>(iphlpapi, "GetExtendedTcpTable");
};

const Libraries& Loaded() {
    static const Libraries libraries;  // once, whichever thread comes first
    return libraries;
}

void WtsFree(void* memory) noexcept {
    Loaded().freeMemory(memory);
}
using unique_wts = base::UniqueResource<void*, &WtsFree>;

// The table's ports are in network order in the low 16 bits; addresses stay in network order.
uint16_t PortOf(DWORD tablePort) {
    return ::ntohs(static_cast<u_short>(tablePort));
}

SocketEnd EndOf(const void* address, size_t size, DWORD tablePort) {
    SocketEnd end;
    std::memcpy(end.address.data(), address, size);
    end.port = PortOf(tablePort);
    return end;
}

// Every TCP socket of one address family with the process that owns it; empty when Windows
// will not tell.
std::vector<ConnectionRow> TcpRows(bool v6, TCP_TABLE_CLASS which) {
    const ULONG family = v6 ? AF_INET6 : AF_INET;
    std::vector<char> buffer;
    DWORD size = 0;
    DWORD result = ERROR_INSUFFICIENT_BUFFER;
    // The table may grow between the call that sizes it and the one that fills it.
    for (int attempt = 0; attempt < 3 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
        buffer.resize(size + 1024);
        size = static_cast<DWORD>(buffer.size());
        result = Loaded().tcpTable != nullptr ? Loaded().tcpTable(buffer.data(), &size, FALSE, family, which, 0)
                                              : ERROR_NOT_SUPPORTED;
    }
    std::vector<ConnectionRow> rows;
    if (result != NO_ERROR) {
        return rows;
    }
    if (v6) {
        const auto* table = reinterpret_cast<const MIB_TCP6TABLE_OWNER_PID*>(buffer.data());
        for (DWORD i = 0; i < table->dwNumEntries; ++i) {
            const MIB_TCP6ROW_OWNER_PID& r = table->table[i];
            rows.push_back(
                {EndOf(r.ucLocalAddr, 16, r.dwLocalPort), EndOf(r.ucRemoteAddr, 16, r.dwRemotePort), r.dwOwningPid});
        }
    } else {
        const auto* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer.data());
        for (DWORD i = 0; i < table->dwNumEntries; ++i) {
            const MIB_TCPROW_OWNER_PID& r = table->table[i];
            rows.push_back(
                {EndOf(&r.dwLocalAddr, 4, r.dwLocalPort), EndOf(&r.dwRemoteAddr, 4, r.dwRemotePort), r.dwOwningPid});
        }
    }
    return rows;
}

std::optional<uint32_t> SessionOf(std::optional<uint32_t> pid) {
    if (!pid) {
        return std::nullopt;
    }
    DWORD session = 0;
    if (::ProcessIdToSessionId(*pid, &session)) {
        return session;
    }
    // Another user's program cannot be opened; the list of every process still names its session.
    unique_wts list;
    DWORD count = 0;
    if (Loaded().enumerateProcesses == nullptr ||
        !Loaded().enumerateProcesses(WTS_CURRENT_SERVER_HANDLE, 0, 1, reinterpret_cast<WTS_PROCESS_INFOW**>(list.put()),
                                     &count)) {
        return std::nullopt;
    }
    const auto* processes = static_cast<const WTS_PROCESS_INFOW*>(list.get());
    for (DWORD i = 0; i < count; ++i) {
        if (processes[i].ProcessId == *pid) {
            return processes[i].SessionId;
        }
    }
    return std::nullopt;
}

}  // namespace

uint32_t OwnSession() {
    DWORD session = 0;
    return ::ProcessIdToSessionId(::GetCurrentProcessId(), &session) ? session : 0;
}

bool OtherSessionsExist(uint32_t ownSession) {
    unique_wts list;
    DWORD count = 0;
    if (Loaded().enumerateSessions == nullptr ||
        !Loaded().enumerateSessions(WTS_CURRENT_SERVER_HANDLE, 0, 1, reinterpret_cast<WTS_SESSION_INFOW**>(list.put()),
                                    &count)) {
        return true;  // cannot tell: look each client up
    }
    const auto* sessions = static_cast<const WTS_SESSION_INFOW*>(list.get());
    for (DWORD i = 0; i < count; ++i) {
        const DWORD id = sessions[i].SessionId;
        if (id != 0 && id != ownSession && sessions[i].State != WTSListen) {
            return true;
        }
    }
    return false;
}

std::optional<uint32_t> ClientSession(const SocketEnd& server, const SocketEnd& client, bool v6) {
    return SessionOf(ClientProcess(TcpRows(v6, TCP_TABLE_OWNER_PID_CONNECTIONS), server, client));
}

std::optional<uint32_t> ListenerSession(uint16_t port) {
    for (const bool v6 : {false, true}) {
        for (const ConnectionRow& row : TcpRows(v6, TCP_TABLE_OWNER_PID_LISTENER)) {
            if (row.local.port == port && row.pid != 0) {
                return SessionOf(row.pid);
            }
        }
    }
    return std::nullopt;
}

}  // namespace web

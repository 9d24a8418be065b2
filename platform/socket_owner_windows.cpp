// Socket owners from the system's connection table (GetExtendedTcpTable): the
// owning process, and the user of that process's token.

#include <winsock2.h>
#include <ws2tcpip.h>
// After the socket headers: the table's types need them.
#include <iphlpapi.h>
#include <windows.h>

#include <memory>
#include <vector>

#include "platform/socket_owner.h"

namespace platform {
namespace {

// The table of every IPv4 TCP socket with its owning process; empty when the
// system will not give it.
std::vector<char> tcp_table() {
  std::vector<char> table;
  DWORD size = 0;
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD result = ::GetExtendedTcpTable(table.empty() ? nullptr : table.data(), &size, FALSE,
                                         AF_INET, TCP_TABLE_OWNER_PID_ALL, 0);
    if (result == NO_ERROR) return table;
    if (result != ERROR_INSUFFICIENT_BUFFER) break;
    table.resize(size);
  }
  return {};
}

// The user a process runs as, compared with ours. A process we may not look
// into (access denied) runs as another user: ours we may always open.
OwnerKind owner_of_process(DWORD pid) {
  // No owning process known: Wine 8 reports 0 for every socket. Such a
  // connection is served as it was before owners were checked, since refusing
  // it would refuse every connection there.
  if (pid == 0) return OwnerKind::UNKNOWN;
  if (pid == ::GetCurrentProcessId()) return OwnerKind::US;
  HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) {
    return ::GetLastError() == ERROR_ACCESS_DENIED ? OwnerKind::OTHER_USER : OwnerKind::UNKNOWN;
  }
  HANDLE token = nullptr;
  BOOL opened = ::OpenProcessToken(process, TOKEN_QUERY, &token);
  DWORD open_error = ::GetLastError();
  ::CloseHandle(process);
  if (!opened) return open_error == ERROR_ACCESS_DENIED ? OwnerKind::OTHER_USER : OwnerKind::UNKNOWN;

  auto user_of = [](HANDLE of) {
    std::vector<char> user;
    DWORD size = 0;
    ::GetTokenInformation(of, TokenUser, nullptr, 0, &size);
    if (size == 0) return user;
    user.resize(size);
    if (!::GetTokenInformation(of, TokenUser, user.data(), size, &size)) user.clear();
    return user;
  };
  std::vector<char> theirs = user_of(token);
  ::CloseHandle(token);
  HANDLE own_token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &own_token)) return OwnerKind::UNKNOWN;
  std::vector<char> ours = user_of(own_token);
  ::CloseHandle(own_token);
  if (theirs.empty() || ours.empty()) return OwnerKind::UNKNOWN;
  bool same = ::EqualSid(reinterpret_cast<TOKEN_USER*>(theirs.data())->User.Sid,
                         reinterpret_cast<TOKEN_USER*>(ours.data())->User.Sid);
  return same ? OwnerKind::US : OwnerKind::OTHER_USER;
}

// The owner of the first row that matches.
template <typename Match>
SocketOwner owner_of_row(Match match) {
  std::vector<char> table = tcp_table();
  // The system will not give the table: no owner, and none to wait for.
  if (table.empty()) return {OwnerKind::UNKNOWN, true, -1, false};
  const auto* rows = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(table.data());
  for (DWORD i = 0; i < rows->dwNumEntries; ++i) {
    if (match(rows->table[i])) return {owner_of_process(rows->table[i].dwOwningPid), true, -1};
  }
  return {};
}

// The table keeps each port in the low 16 bits, in network byte order.
std::uint16_t port_of(DWORD table_port) { return static_cast<std::uint16_t>(table_port); }

class TableSocketOwners final : public SocketOwnerLookup {
 public:
  SocketOwner connection_owner(const sockaddr_in& local, const sockaddr_in& remote) override {
    return owner_of_row([&](const MIB_TCPROW_OWNER_PID& row) {
      return row.dwLocalAddr == local.sin_addr.s_addr && port_of(row.dwLocalPort) == local.sin_port &&
             row.dwRemoteAddr == remote.sin_addr.s_addr &&
             port_of(row.dwRemotePort) == remote.sin_port;
    });
  }

  SocketOwner listener_owner(std::uint16_t net_port) override {
    return owner_of_row([&](const MIB_TCPROW_OWNER_PID& row) {
      return row.dwState == MIB_TCP_STATE_LISTEN && port_of(row.dwLocalPort) == net_port &&
             (row.dwLocalAddr == htonl(INADDR_LOOPBACK) || row.dwLocalAddr == htonl(INADDR_ANY));
    });
  }
};

}  // namespace

// Never destroyed: the server thread may ask while the process runs its exit handlers.
SocketOwnerLookup& system_socket_owners() {
  static TableSocketOwners* instance = new TableSocketOwners;
  return *instance;
}

}  // namespace platform

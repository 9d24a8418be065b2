#include "server/foreign_peers.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "platform/socket_owner.h"
#include "server/instance_name.h"
#include "server/process.h"

namespace {

using Clock = std::chrono::steady_clock;

// A busy attacker must not flood standard error: one line a minute per user.
constexpr auto REPORT_INTERVAL = std::chrono::minutes(1);

// Never destroyed: the server thread may refuse a peer while the process runs
// its exit handlers.
std::mutex& g_reports_mutex = *new std::mutex;
std::map<long long, Clock::time_point>& g_last_report =
    *new std::map<long long, Clock::time_point>;

void report_refusal(const platform::SocketOwner& owner) {
  {
    std::lock_guard<std::mutex> lock(g_reports_mutex);
    Clock::time_point now = Clock::now();
    auto last = g_last_report.find(owner.uid);
    if (last != g_last_report.end() && now - last->second < REPORT_INTERVAL) return;
    g_last_report[owner.uid] = now;
  }
  std::string line = std::string(instance_name()) + ": refused a connection from " +
                     platform::describe_owner(owner) + ": only this user's programs are served\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

bool refuse_foreign_peer(int client) {
  platform::SocketOwner owner = platform::peer_socket_owner(client);
  // A peer that left before it was asked about is nobody to serve or to name:
  // serving it would only read what it left and report its reset.
  if (owner.gone) return true;
  if (owner.kind != platform::OwnerKind::OTHER_USER) return false;
  report_refusal(owner);
  return true;
}

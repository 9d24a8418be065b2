#include "bench/bare_server.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "bench/bench_net.h"
#include "tests/support/stream.h"

namespace bench {

BareServer::~BareServer() {
  join();
  if (m_listener >= 0) ::close(m_listener);
}

bool BareServer::start(Kind kind, int cpu, int cycles) {
  m_listener = listen_loopback(&m_port);
  if (m_listener < 0) return false;
  m_thread = std::thread([this, kind, cpu, cycles] {
    pin_current_thread(cpu);
    std::int64_t start = thread_cpu_ns(pthread_self());
    if (kind == Kind::CONNECT_CYCLES) {
      serve_cycles(cycles);
    } else {
      serve_round_trips(kind == Kind::TWO_SENDS);
    }
    m_cpu_ns = thread_cpu_ns(pthread_self()) - start;
  });
  return true;
}

void BareServer::join() {
  if (m_thread.joinable()) m_thread.join();
}

void BareServer::serve_round_trips(bool two_sends) {
  int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  set_no_delay(fd);
  unsigned char request[DATA_REQUEST_SIZE];
  unsigned char reply[DATA_REPLY_HEAD_SIZE + DATA_REPLY_BODY_SIZE];
  std::memset(reply, 0x5a, sizeof reply);
  while (test_support::read_whole(fd, request, sizeof request)) {
    bool sent = two_sends ? test_support::send_all(fd, reply, DATA_REPLY_HEAD_SIZE) &&
                                test_support::send_all(fd, reply + DATA_REPLY_HEAD_SIZE,
                                                       DATA_REPLY_BODY_SIZE)
                          : test_support::send_all(fd, reply, sizeof reply);
    if (!sent) break;
  }
  ::close(fd);
}

void BareServer::serve_cycles(int cycles) {
  unsigned char request[CYCLE_REQUEST_SIZE];
  unsigned char reply[CYCLE_REPLY_SIZE] = {};
  unsigned char end[CYCLE_END_SIZE];
  for (int i = 0; i < cycles; ++i) {
    int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    set_no_delay(fd);
    if (test_support::read_whole(fd, request, sizeof request) &&
        test_support::send_all(fd, reply, sizeof reply)) {
      test_support::read_whole(fd, end, sizeof end);
    }
    ::close(fd);
  }
}

}  // namespace bench

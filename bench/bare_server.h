#pragma once

#include <pthread.h>

#include <cstdint>
#include <thread>

// The floor the capture server is measured against: a server with the same
// message sizes and nothing else (no wait before reading, no registry, no
// framing), on a thread of its own pinned to a chosen CPU.
namespace bench {

inline constexpr std::size_t DATA_REQUEST_SIZE = 8;      // a MSG_DATA header
inline constexpr std::size_t DATA_REPLY_HEAD_SIZE = 8;   // the reply's header
inline constexpr std::size_t DATA_REPLY_BODY_SIZE = 48;  // four channels of one value
inline constexpr std::size_t CYCLE_REQUEST_SIZE = 12;    // MSG_VERSION with its 4-byte payload
inline constexpr std::size_t CYCLE_REPLY_SIZE = 16;      // its reply
inline constexpr std::size_t CYCLE_END_SIZE = 8;         // MSG_END

class BareServer {
 public:
  enum class Kind {
    ONE_SEND,        // one connection; each 8-byte request gets its 56-byte reply in one send
    TWO_SENDS,       // the same reply as an 8-byte send and a 48-byte send
    CONNECT_CYCLES,  // `cycles` connections: request, reply in one send, end, close
  };

  BareServer() = default;
  BareServer(const BareServer&) = delete;
  BareServer& operator=(const BareServer&) = delete;
  ~BareServer();

  // Listens on 127.0.0.1 and starts the serving thread pinned to cpu.
  bool start(Kind kind, int cpu, int cycles = 0);
  std::uint16_t port() const { return m_port; }
  pthread_t handle() { return m_thread.native_handle(); }
  // Waits for the thread; the client must have closed its connection(s).
  void join();
  // CPU time the serving thread used from its first accept to its last close;
  // read after join().
  std::int64_t cpu_ns() const { return m_cpu_ns; }

 private:
  void serve_round_trips(bool two_sends);
  void serve_cycles(int cycles);

  int m_listener = -1;
  std::uint16_t m_port = 0;
  std::thread m_thread;
  std::int64_t m_cpu_ns = 0;
};

}  // namespace bench

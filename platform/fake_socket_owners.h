#pragma once

#include <atomic>

#include "platform/socket_owner.h"

namespace platform {

// Socket owners for tests: every connection and every listener belongs to the
// owner the test sets. Installed for its lifetime.
class ScopedFakeSocketOwners final : public SocketOwnerLookup {
 public:
  explicit ScopedFakeSocketOwners(SocketOwner owner) : m_owner(owner) { set_socket_owners(this); }
  ~ScopedFakeSocketOwners() override { set_socket_owners(nullptr); }
  ScopedFakeSocketOwners(const ScopedFakeSocketOwners&) = delete;
  ScopedFakeSocketOwners& operator=(const ScopedFakeSocketOwners&) = delete;

  SocketOwner connection_owner(const sockaddr_in&, const sockaddr_in&) override {
    ++questions;
    return m_owner;
  }
  SocketOwner listener_owner(std::uint16_t) override {
    ++questions;
    return m_owner;
  }

  std::atomic<int> questions{0};

 private:
  SocketOwner m_owner;
};

}  // namespace platform

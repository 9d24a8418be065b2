#include "tests/support/registry_view.h"

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace test_support {

RegistryView::RegistryView(const std::string& object_name)
    : m_fd(platform::open_shared_object(object_name.c_str(), REGISTRY_OBJECT_SIZE, &m_existed)) {
  if (!m_fd.valid()) return;
  m_view = std::make_unique<platform::MappedRegion>(m_fd.get(), REGISTRY_OBJECT_SIZE);
  m_registry = static_cast<SocketRegistry*>(m_view->get());
}

void RegistryView::occupy(int index, const std::string& name, std::uint16_t port) {
  leave_stale_name(index, name);
  slot(index).port = htons(port);
  m_registry->used |= 1u << index;
}

void RegistryView::leave_stale_name(int index, const std::string& name) {
  char* field = slot(index).name;
  std::memset(field, 0, REGISTRY_NAME_SIZE);
  std::memcpy(field, name.data(), std::min(name.size(), REGISTRY_NAME_SIZE));
}

std::uint16_t RegistryView::published_port(const std::string& name) const {
  if (!m_registry) return 0;
  int index = find_slot(m_registry, name.c_str());
  return index < 0 ? 0 : ntohs(m_registry->slots[index].port);
}

std::string RegistryView::snapshot() const {
  return std::string(reinterpret_cast<const char*>(m_registry), sizeof(SocketRegistry));
}

std::uint16_t wait_for_publication(const std::string& object_name, const std::string& name,
                                   int timeout_ms, const std::function<bool()>& keep_waiting) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < deadline) {
    if (std::uint16_t port = RegistryView(object_name).published_port(name)) return port;
    if (keep_waiting && !keep_waiting()) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return 0;
}

}  // namespace test_support

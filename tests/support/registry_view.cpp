#include "tests/support/registry_view.h"

#include <arpa/inet.h>
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace test_support {

RegistryView::RegistryView(const std::string& object_name)
    : m_fd(open_registry_object(object_name.c_str(), &m_existed, nullptr, nullptr)) {
  if (!m_fd.valid()) return;
  void* view =
      ::mmap(nullptr, REGISTRY_OBJECT_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd.get(), 0);
  if (view != MAP_FAILED) m_registry = static_cast<SocketRegistry*>(view);
}

RegistryView::~RegistryView() {
  if (m_registry) ::munmap(m_registry, REGISTRY_OBJECT_SIZE);
}

std::uint32_t RegistryView::used() const {
  return std::atomic_ref<std::uint32_t>(m_registry->used).load(std::memory_order_acquire);
}

void RegistryView::occupy(int index, const std::string& name, std::uint16_t port) {
  leave_stale_name(index, name);
  slot(index).port = htons(port);
  std::atomic_ref<std::uint32_t>(m_registry->used).fetch_or(1u << index, std::memory_order_release);
}

void RegistryView::vacate(int index) {
  slot(index).name[0] = '\0';
  slot(index).port = 0;
  std::atomic_ref<std::uint32_t>(m_registry->used)
      .fetch_and(~(1u << index), std::memory_order_release);
}

void RegistryView::leave_stale_name(int index, const std::string& name) {
  char* field = slot(index).name;
  std::memset(field, 0, REGISTRY_NAME_SIZE);
  std::memcpy(field, name.data(), std::min(name.size(), REGISTRY_NAME_SIZE));
}

std::uint16_t RegistryView::published_port(const std::string& name) const {
  SocketRegistry copy;
  if (!m_fd.valid() || !read_registry(m_fd.get(), &copy)) return 0;
  int index = find_slot(copy, name.c_str());
  return index < 0 ? 0 : ntohs(copy.slots[index].port);
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

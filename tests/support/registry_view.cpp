#include "tests/support/registry_view.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

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

std::string RegistryView::snapshot() const {
  return std::string(reinterpret_cast<const char*>(m_registry), sizeof(SocketRegistry));
}

}  // namespace test_support

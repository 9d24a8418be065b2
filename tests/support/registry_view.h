#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/shared_memory.h"
#include "platform/unique_fd.h"
#include "protocol/registry_io.h"
#include "protocol/registry_layout.h"

namespace test_support {

// A test's own hold on a registry object, opened like every holder opens it
// and mapped for as long as the view lives (the program itself never maps it:
// a test that shortens the object reads it through the view only once the
// server has extended it again). Held before a server starts, it
// makes the server find the registry as prepared (instead of treating it as new
// and zeroing it); held afterwards, it shows the slots as the server left them.
class RegistryView {
 public:
  explicit RegistryView(const std::string& object_name);
  RegistryView(const RegistryView&) = delete;
  RegistryView& operator=(const RegistryView&) = delete;
  ~RegistryView();

  // False when the object could not be opened or mapped.
  bool ok() const { return m_registry != nullptr; }
  // Whether another process held the registry when this view opened it.
  bool existed() const { return m_existed; }

  SocketRegistry& registry() const { return *m_registry; }
  RegistrySlot& slot(int index) const { return m_registry->slots[index]; }
  // The used word as the server last published it.
  std::uint32_t used() const;

  // Marks slot index in use under name with port (host order), name copied
  // with its terminating zero when it is shorter than the field.
  void occupy(int index, const std::string& name, std::uint16_t port);
  // Withdraws slot index as a server does: first name byte, port, then the bit.
  void vacate(int index);
  // Writes name into a free slot's field, as a server that went away leaves it.
  void leave_stale_name(int index, const std::string& name);

  // The port (host order) published under name in the lowest slot in use that
  // holds it; 0 when there is none.
  std::uint16_t published_port(const std::string& name) const;

  // A copy of the 3524 bytes of the layout.
  std::string snapshot() const;

 private:
  bool m_existed = false;  // before m_fd: set while m_fd is opened
  platform::UniqueFd m_fd;
  SocketRegistry* m_registry = nullptr;
};

// Waits up to timeout_ms, and only while keep_waiting (when given) holds, for
// name to be published in the registry object_name: the port (host order), or
// 0 when it did not appear.
std::uint16_t wait_for_publication(const std::string& object_name, const std::string& name,
                                   int timeout_ms,
                                   const std::function<bool()>& keep_waiting = nullptr);

}  // namespace test_support

#include "server/registry.h"

#include <atomic>
#include <cstring>

namespace {

std::atomic<const char*> g_object_name{nullptr};

}  // namespace

const char* registry_object_name() {
  const char* name = g_object_name.load(std::memory_order_acquire);
  if (name) return name;
  // Built once and never freed: the server may open the registry while the
  // process runs its exit handlers.
  static const char* default_name = [] {
    std::string text = registry_object_name_from_environment();
    char* copy = new char[text.size() + 1];
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
  }();
  return default_name;
}

void set_registry_object_name(const char* name) {
  g_object_name.store(name, std::memory_order_release);
}

int open_registry(bool* existed, std::string* why) {
  return open_registry_object(registry_object_name(), existed, why);
}

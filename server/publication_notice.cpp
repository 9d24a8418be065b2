#include "server/publication_notice.h"

#include <atomic>

#include "server/capture_server.h"
#include "server/registry.h"

namespace {
std::atomic<FirstPublicationHandler> g_first_publication_handler{nullptr};
std::atomic<bool> g_published_once{false};
}  // namespace

void set_first_publication_handler(FirstPublicationHandler handler) {
  g_first_publication_handler.store(handler);
}

void notice_publication(const char* name) {
  if (g_published_once.exchange(true)) return;
  if (FirstPublicationHandler handler = g_first_publication_handler.load()) {
    handler(name, registry_object_name());
  }
}

#include "res/strings.h"

#include "res/resource.h"

namespace {

struct StringEntry {
  int id;
  const char* text;
};

constexpr StringEntry STRING_TABLE[] = {
    {IDS_ABOUTBOX, "&About Orvandelcaster..."},
    {IDP_SOCKETS_INIT_FAILED, "Windows sockets initialization failed."},
};

}  // namespace

const char* load_string(int id) {
  for (const StringEntry& entry : STRING_TABLE) {
    if (entry.id == id) return entry.text;
  }
  return "";
}

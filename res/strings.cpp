#include "res/strings.h"

#include "res/resource.h"

namespace {

struct StringEntry {
  int id;
  const char* text;
};

#define STRING_ENTRY(id, text) {id, text},
constexpr StringEntry STRING_TABLE[] = {
#include "res/strings.def"
};
#undef STRING_ENTRY

}  // namespace

const char* load_string(int id) {
  for (const StringEntry& entry : STRING_TABLE) {
    if (entry.id == id) return entry.text;
  }
  return "";
}

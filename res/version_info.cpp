#include "res/version_info.h"

#include "res/version_number.h"

namespace {

// One "key=value" text per entry of the version block's string table (US
// English), each ending in a zero byte.
#define VERSION_STRING(key, value) key "=" value "\0"
[[gnu::used, gnu::section(".orvandelcaster.version")]] constexpr char VERSION_BLOCK[] =
#include "res/version_strings.def"
    ;
#undef VERSION_STRING

}  // namespace

const char* file_version() { return ORVANDEL_VERSION_DOTS; }

const char* shown_version() { return ORVANDEL_VERSION_SHOWN; }

const char* internal_name() { return "Orvandelcaster"; }

#include "res/version_info.h"

#include "res/version_number.h"

#define ORVANDEL_TEXT_(x) #x
#define ORVANDEL_TEXT(x) ORVANDEL_TEXT_(x)
#define ORVANDEL_VERSION_PARTS(separator)         \
  ORVANDEL_TEXT(ORVANDEL_VERSION_MAJOR)           \
  separator ORVANDEL_TEXT(ORVANDEL_VERSION_MINOR) \
  separator ORVANDEL_TEXT(ORVANDEL_VERSION_PATCH) \
  separator ORVANDEL_TEXT(ORVANDEL_VERSION_TWEAK)

namespace {

// One "key=value" text per entry of the version block's string table (US
// English), each ending in a zero byte.
[[gnu::used, gnu::section(".orvandelcaster.version")]] constexpr char VERSION_BLOCK[] =
    "Comments=\0"
    "CompanyName=Orvandelcaster team\0"
    "FileDescription=Orvandelcaster MFC Application\0"
    "FileVersion=" ORVANDEL_VERSION_PARTS(", ") "\0"
    "InternalName=Orvandelcaster\0"
    "LegalCopyright=Copyright (C) Orvandelcaster team\0"
    "LegalTrademarks=\0"
    "OriginalFilename=orvandelcaster\0"
    "PrivateBuild=\0"
    "ProductName=Orvandelcaster Application\0"
    "ProductVersion=" ORVANDEL_VERSION_PARTS(", ") "\0"
    "SpecialBuild=\0";

}  // namespace

const char* file_version() { return ORVANDEL_VERSION_PARTS("."); }

const char* shown_version() { return ORVANDEL_VERSION_SHOWN; }

const char* internal_name() { return "Orvandelcaster"; }

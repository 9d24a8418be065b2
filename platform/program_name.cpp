#include "platform/program_name.h"

namespace platform {
namespace {

const char* g_program_name = "Orvandelcaster";

}  // namespace

void set_program_name(const char* name) { g_program_name = name; }

const char* program_name() { return g_program_name; }

}  // namespace platform

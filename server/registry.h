#pragma once

#include <string>

#include "protocol/registry_layout.h"

// The registry as this process opens it.

// The name of the shared-memory object this process opens; the default unless
// a test has set another, so that it works on a registry of its own.
const char* registry_object_name();
void set_registry_object_name(const char* name);

// Opens and holds the registry (see platform::open_shared_object): the
// descriptor, or -1 with errno. *existed is false when nobody held it before.
int open_registry(bool* existed);

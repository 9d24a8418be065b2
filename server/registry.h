#pragma once

#include <string>

#include "protocol/registry_io.h"
#include "protocol/registry_layout.h"

// The registry as this process opens it.

// The name of the shared-memory object this process opens: one set with
// set_registry_object_name, else registry_object_name_from_environment().
const char* registry_object_name();
void set_registry_object_name(const char* name);

// open_registry_object for registry_object_name().
int open_registry(bool* existed, std::string* why = nullptr);

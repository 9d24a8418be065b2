#include "server/instance_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(InstanceName, PrintableAsciiWithoutAColonFromOneTo63Characters) {
  const struct {
    std::string name;
    bool valid;
  } cases[] = {
      {"Orvandelcaster", true},          {"S", true},          {"Stick 2 (left)", true},
      {std::string(63, 'n'), true},      {" ~!#", true},       {"", false},
      {std::string(64, 'n'), false},     {"host:5000", false}, {"tab\there", false},
      {std::string("nul\0x", 5), false}, {"del\x7f", false},   {"caf\xc3\xa9", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(valid_instance_name(c.name), c.valid) << c.name;
  }
}

}  // namespace

#include "platform/fake_input_tree.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

namespace platform {

namespace fs = std::filesystem;

FakeInputTree::FakeInputTree() {
  char pattern[] = "/tmp/input-tree-XXXXXX";
  m_root = ::mkdtemp(pattern);
  // Others must reach the nodes to be refused by their own modes.
  std::filesystem::permissions(m_root, std::filesystem::perms::owner_all |
                                           std::filesystem::perms::group_exec |
                                           std::filesystem::perms::others_exec);
  std::filesystem::create_directories(m_root / "dev/input");
  std::filesystem::create_directories(m_root / "sys/class/input");
}
FakeInputTree::~FakeInputTree() {
  std::error_code ignored;
  std::filesystem::remove_all(m_root, ignored);
}

void FakeInputTree::add(int number, const char* name, SysfsCapabilities caps, mode_t mode,
                        gid_t gid) {
  std::ofstream(node(number)).put('\n');
  EXPECT_EQ(::chown(node(number).c_str(), 0, gid), 0);
  EXPECT_EQ(::chmod(node(number).c_str(), mode), 0);
  std::filesystem::path device =
      m_root / "sys/class/input" / ("event" + std::to_string(number)) / "device";
  std::filesystem::create_directories(device / "capabilities");
  std::ofstream(device / "name") << name << "\n";
  std::ofstream(device / "capabilities/ev") << caps.ev << "\n";
  if (*caps.abs) std::ofstream(device / "capabilities/abs") << caps.abs << "\n";
  std::ofstream(device / "capabilities/key") << caps.key << "\n";
}

const ::group* some_other_group() {
  for (const char* name : {"input", "daemon", "bin", "sys"}) {
    if (const group* found = ::getgrnam(name)) return found;
  }
  return nullptr;
}

}  // namespace platform

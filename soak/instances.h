#pragma once

#include <map>
#include <string>

// The soak's instance phase: servers killed while published and started again
// (each restart must reclaim the dead server's slot and serve), and second
// instances started beside a live one (each must be refused with status 1 and
// its one line, the live one keeping its publication and serving on).
namespace soak {

struct InstanceCounts {
  int restarts = 0;  // restarts that reclaimed the name and served a session
  int refusals = 0;  // second instances refused while nothing of the first was lost
  std::map<std::string, int> problems;
};

InstanceCounts soak_instances(const std::string& registry, const char* fixture_path, int restarts,
                              int refusals, int seconds);

}  // namespace soak

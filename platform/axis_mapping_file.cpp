// AxisMappingFile: the settings file's mapping as one reader sees it. Apart
// from the rule itself because it reads the settings file, which each system
// keeps in its own place.

#include <mutex>
#include <set>
#include <string>

#include "platform/axis_mapping.h"
#include "platform/outside_text.h"
#include "platform/program_name.h"
#include "platform/settings_file.h"
#include "platform/standard_error.h"

namespace platform {
namespace {

// Said once per process, whichever reader finds it first.
void report_once(const std::string& line) {
  static std::mutex mutex;
  static std::set<std::string> said;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!said.insert(line).second) return;
  }
  write_standard_error(line.data(), line.size());
}

}  // namespace

AxisMapping read_axis_mapping(const std::string& path, AxisNaming naming,
                              std::vector<SettingProblem>* problems, std::string* refused) {
  std::string text;
  *refused = read_settings_text(path, &text);
  if (!refused->empty()) text.clear();
  return parse_axis_mapping(text, naming, problems);
}

AxisMappingFile::AxisMappingFile(AxisNaming naming) : m_naming(naming) {}

const AxisMapping& AxisMappingFile::current(Clock::time_point now) {
  if (m_preview) return *m_preview;
  if (m_read && now - m_last < std::chrono::seconds(1)) return m_mapping;
  m_read = true;
  m_last = now;
  const std::string path = settings_file_path();
  // A refused file (a FIFO, too large) is said by the reader of the joystick
  // choice; here it is only a file without mapping.
  std::string refused;
  std::vector<SettingProblem> problems;
  m_mapping = read_axis_mapping(path, m_naming, &problems, &refused);
  for (const SettingProblem& problem : problems) {
    report_once(std::string(program_name()) + ": " + printable_outside_text(path) + ":" +
                std::to_string(problem.line) + ": " + problem.why + " (the line is ignored)\n");
  }
  return m_mapping;
}

}  // namespace platform

#pragma once

#include <map>

#include "platform/winmm_joystick.h"

namespace platform {

// The multimedia calls over a table of ids: an id with capabilities that does
// not answer stands for a joystick the driver knows but cannot read now.
class FakeMultimediaJoysticks final : public MultimediaJoysticks {
 public:
  struct Entry {
    MultimediaJoystickCaps caps;
    bool answers = true;
    MultimediaPosition position{};
  };
  unsigned ids = 16;
  std::map<unsigned, Entry> entries;

  unsigned id_count() override { return ids; }
  bool capabilities(unsigned id, MultimediaJoystickCaps* caps) override {
    auto entry = entries.find(id);
    if (entry == entries.end()) return false;
    *caps = entry->second.caps;
    return true;
  }
  bool read_position(unsigned id, MultimediaPosition* position) override {
    auto entry = entries.find(id);
    if (entry == entries.end() || !entry->second.answers) return false;
    *position = entry->second.position;
    return true;
  }
};

}  // namespace platform

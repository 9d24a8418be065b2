#pragma once

// How an evdev device becomes joystick 0: which device counts as a joystick,
// which axes feed the four axes of a reading, how keys are numbered as buttons
// and how an axis position is scaled. Plain functions over what the evdev
// ioctls report (capability bits, absinfo, key state), so that every decision
// can be checked without a device; joystick_device_linux.cpp only makes the calls.

#include <linux/input.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/axis_mapping.h"  // scale_axis

namespace platform {

// Bit sets as EVIOCGBIT and EVIOCGKEY fill them: bit n of byte n / 8 is code n.
inline constexpr std::size_t EV_BITS_SIZE = (EV_CNT + 7) / 8;
inline constexpr std::size_t ABS_BITS_SIZE = (ABS_CNT + 7) / 8;
inline constexpr std::size_t KEY_BITS_SIZE = (KEY_CNT + 7) / 8;

struct EvdevCapabilities {
  std::uint8_t events[EV_BITS_SIZE];  // EVIOCGBIT(0): event types
  std::uint8_t axes[ABS_BITS_SIZE];   // EVIOCGBIT(EV_ABS): absolute axes
  std::uint8_t keys[KEY_BITS_SIZE];   // EVIOCGBIT(EV_KEY): keys and buttons
};

// True when code is set in bits, a set of size bytes; codes beyond it are clear.
bool evdev_bit_set(const std::uint8_t* bits, std::size_t size, unsigned code);

// A joystick reports absolute events with ABS_X and ABS_Y and at least one key
// in BTN_JOYSTICK..0x13f (joystick and gamepad buttons). Touchpads, tablets,
// mice and keyboards have none of those keys.
bool is_joystick(const EvdevCapabilities& caps);

// Why caps is not a joystick by that rule, for people: "no absolute axes",
// "no X and Y axes" or "no joystick or gamepad buttons"; null for a joystick.
const char* why_not_joystick(const EvdevCapabilities& caps);

// The absolute axes of caps (codes only, in order), as the mapping looks
// for them: which feed the four axes of a reading is the mapping's to say.
std::vector<DeviceAxis> absolute_axes(const EvdevCapabilities& caps);

inline constexpr int MAX_BUTTONS = 32;

// The key codes that are buttons 1 to count, in order: the codes the device
// supports from BTN_JOYSTICK up to KEY_MAX, then those from BTN_MISC up to
// 0x11f. Only the first MAX_BUTTONS count.
struct ButtonOrder {
  int count;
  std::uint16_t codes[MAX_BUTTONS];
};
ButtonOrder order_buttons(const EvdevCapabilities& caps);

// A reading's buttons from a key state (EVIOCGKEY, KEY_BITS_SIZE bytes): bit i is set
// when button i + 1 is down.
std::uint32_t button_mask(const ButtonOrder& order, const std::uint8_t* key_state);

// When a handle without a device may look for one again: at the first
// chance, then at most once per interval, on a monotonic clock so that
// changing the wall clock neither stalls nor hurries the search.
class OpenRetry {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration INTERVAL = std::chrono::seconds(1);

  bool due(Clock::time_point now) const;
  // Records an attempt (or the loss of the device) at now.
  void attempted(Clock::time_point now);

 private:
  bool m_attempted = false;
  Clock::time_point m_last{};
};

}  // namespace platform

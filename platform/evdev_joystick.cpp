#include "platform/evdev_joystick.h"

namespace platform {
namespace {

// The last code of the joystick and gamepad button block that starts at BTN_JOYSTICK.
constexpr unsigned LAST_JOYSTICK_KEY = 0x13f;
// The last code of the BTN_MISC block, numbered after every code from BTN_JOYSTICK up.
constexpr unsigned LAST_MISC_KEY = 0x11f;

bool has_axis(const EvdevCapabilities& caps, unsigned code) {
  return evdev_bit_set(caps.axes, sizeof caps.axes, code);
}

bool has_key(const EvdevCapabilities& caps, unsigned code) {
  return evdev_bit_set(caps.keys, sizeof caps.keys, code);
}

void append_buttons(const EvdevCapabilities& caps, unsigned first, unsigned last,
                    ButtonOrder* order) {
  for (unsigned code = first; code <= last && order->count < MAX_BUTTONS; ++code) {
    if (has_key(caps, code)) order->codes[order->count++] = static_cast<std::uint16_t>(code);
  }
}

}  // namespace

bool evdev_bit_set(const std::uint8_t* bits, std::size_t size, unsigned code) {
  if (code / 8 >= size) return false;
  return ((bits[code / 8] >> (code % 8)) & 1) != 0;
}

bool is_joystick(const EvdevCapabilities& caps) { return why_not_joystick(caps) == nullptr; }

const char* why_not_joystick(const EvdevCapabilities& caps) {
  if (!evdev_bit_set(caps.events, sizeof caps.events, EV_ABS)) return "no absolute axes";
  if (!has_axis(caps, ABS_X) || !has_axis(caps, ABS_Y)) return "no X and Y axes";
  for (unsigned code = BTN_JOYSTICK; code <= LAST_JOYSTICK_KEY; ++code) {
    if (has_key(caps, code)) return nullptr;
  }
  return "no joystick or gamepad buttons";
}

std::vector<DeviceAxis> absolute_axes(const EvdevCapabilities& caps) {
  std::vector<DeviceAxis> axes;
  if (!evdev_bit_set(caps.events, sizeof caps.events, EV_ABS)) return axes;
  for (unsigned code = 0; code <= ABS_MAX; ++code) {
    if (has_axis(caps, code)) axes.push_back(DeviceAxis{static_cast<int>(code), 0, 0, 0, 0, 0});
  }
  return axes;
}

ButtonOrder order_buttons(const EvdevCapabilities& caps) {
  ButtonOrder order{};
  append_buttons(caps, BTN_JOYSTICK, KEY_MAX, &order);
  append_buttons(caps, BTN_MISC, LAST_MISC_KEY, &order);
  return order;
}

std::uint32_t button_mask(const ButtonOrder& order, const std::uint8_t* key_state) {
  std::uint32_t mask = 0;
  for (int i = 0; i < order.count; ++i) {
    if (evdev_bit_set(key_state, KEY_BITS_SIZE, order.codes[i])) mask |= 1u << i;
  }
  return mask;
}

bool OpenRetry::due(Clock::time_point now) const {
  return !m_attempted || now - m_last >= INTERVAL;
}

void OpenRetry::attempted(Clock::time_point now) {
  m_attempted = true;
  m_last = now;
}

}  // namespace platform

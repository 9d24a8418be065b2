#include "tools/probe_axes.h"

#include <gtest/gtest.h>

namespace probe {
namespace {

using platform::AxisNaming;
using platform::DeviceAxis;

// Codes as evdev numbers them (ABS_X 0, ABS_Y 1, ABS_Z 2, ABS_RX 3, ABS_RY 4,
// ABS_THROTTLE 6), written out so that this test builds where evdev is absent.
constexpr int X = 0, Y = 1, Z = 2, RX = 3, RY = 4, THROTTLE = 6;

TEST(ProbeAxes, TableHasOneAlignedRowPerAxis) {
  const std::vector<DeviceAxis> axes = {{X, 0, 1023, 15, 3, 512}, {THROTTLE, -32768, 32767, 0, 0, -7}};
  EXPECT_EQ(format_axis_table(axes, AxisNaming::EVDEV),
            "  AXIS             MIN    MAX  FLAT  FUZZ  VALUE\n"
            "  ABS_X              0   1023    15     3    512\n"
            "  ABS_THROTTLE  -32768  32767     0     0     -7\n");
}

// A gamepad without Z or rudder: the right stick mapped, one axis it lacks
// named, and the default's thrust finding nothing.
TEST(ProbeAxes, MappingSaysWhatEachChannelReadsAndWhichAxisIsMissing) {
  const std::vector<DeviceAxis> pad = {
      {X, -512, 511, 0, 0, 0}, {Y, -512, 511, 0, 0, 0}, {RX, 0, 255, 0, 0, 9}, {RY, 0, 255, 0, 0, 9}};
  platform::AxisMapping mapping;
  mapping[platform::MappedAxis::X].code = RX;
  mapping[platform::MappedAxis::Y] = {RY, true, platform::AxisCalibration{10, 120, 250}, 8};
  mapping[platform::MappedAxis::RUDDER].code = Z;
  EXPECT_EQ(format_mapping(mapping, pad, AxisNaming::EVDEV),
            "  CHANNEL  AXIS    INVERTED  CALIBRATION          DEAD ZONE\n"
            "  x        ABS_RX  no        the device's 0..255  none\n"
            "  y        ABS_RY  yes       10 120 250           8%\n"
            "  rudder   ABS_Z   no        the device's         none       the device has no "
            "ABS_Z: reads centred\n"
            "  thrust   none    no        the device's         none       the device has no axis "
            "for it: reads centred\n");
}

TEST(ProbeAxes, FrameRedrawsEveryLineWithABarFromMinimumToMaximum) {
  const std::vector<DeviceAxis> axes = {{X, 0, 1000, 0, 0, 500},  // centred
                                        {Y, 0, 1000, 0, 0, 0},    // at the minimum
                                        {Z, -10, 10, 0, 0, 99},   // beyond the maximum
                                        {RX, 5, 5, 0, 0, 5}};     // no range
  EXPECT_EQ(format_axes_frame("Pad   Ctrl-C to stop", axes, AxisNaming::EVDEV),
            "\x1b[HPad   Ctrl-C to stop\x1b[K\n\x1b[K\n"
            "  ABS_X   500  0..1000  [               |               ]\x1b[K\n"
            "  ABS_Y     0  0..1000  [###############|               ]\x1b[K\n"
            "  ABS_Z    99  -10..10  [               |##############>]\x1b[K\n"
            "  ABS_RX    5  5..5     [               ?               ]\x1b[K\n"
            "\x1b[J");
  EXPECT_EQ(format_axes_line(1.25, axes, AxisNaming::EVDEV),
            "1.250 ABS_X=500 ABS_Y=0 ABS_Z=99 ABS_RX=5\n");
}

}  // namespace
}  // namespace probe

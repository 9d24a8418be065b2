// Each case runs in a process of its own (gtest_discover_tests), so the axis
// scale, the channel table and the server's reader start fresh every time.

#include "joystick/joystick_channels.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdint>
#include <vector>

#include "platform/errno_keeper.h"
#include "platform/fake_joystick_device.h"
#include "platform/recording.h"
#include "server_core/channels.h"
#include "server_core/framing.h"

namespace {

class JoystickSource : public ::testing::Test {
 protected:
  void fix_scale(std::uint32_t xmin, std::uint32_t xmax) {
    m_device.set_capabilities({xmin, xmax, 10});
    platform::JoystickCapabilities caps{};
    fix_axis_scale(&caps);
    EXPECT_EQ(caps.x_min, xmin);
    EXPECT_EQ(caps.x_max, xmax);
  }

  // The MSG_DATA reply as a client receives it, words in host order; empty
  // when send_data_block failed (errno then holds its reason).
  std::vector<std::uint32_t> data_block_words() {
    int ends[2];
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    int sent = send_data_block(ends[0]);
    platform::ErrnoKeeper keep_errno;
    ::close(ends[0]);
    std::vector<std::uint32_t> words;
    MessageHeader header{};
    if (sent >= 0 && recv_all(ends[1], &header, sizeof header) == sizeof header) {
      EXPECT_EQ(ntohl(header.type), MSG_DATA);
      words.resize(ntohl(header.length) / 4);
      int length = static_cast<int>(words.size() * 4);
      EXPECT_EQ(recv_all(ends[1], words.data(), length), length);
      for (auto& word : words) word = ntohl(word);
    }
    ::close(ends[1]);
    return words;
  }

  static float value_of(std::uint32_t word) { return std::bit_cast<float>(word); }

  platform::ScopedFakeJoystickDevice m_device;
};

TEST_F(JoystickSource, LinuxCapabilitiesSpanMinusHalfToPlusHalf) {
  fix_scale(0, 65535);
  EXPECT_EQ(g_axis_range, 65535.0f);
  EXPECT_EQ(g_axis_centre, 32767.5f);
  EXPECT_EQ(channel_value(0), -0.5f);
  EXPECT_EQ(channel_value(65535), 0.5f);
  EXPECT_EQ(channel_value(32768), static_cast<float>(0.5 / 65535.0));
  EXPECT_EQ(channel_value(32767), static_cast<float>(-0.5 / 65535.0));
}

TEST_F(JoystickSource, ReplayedValuesTurnBackIntoTheVeryPositions) {
  fix_scale(0, 65535);
  // Every value the server serves names its own position, so a recording
  // replays bit for bit.
  std::uint32_t wrong = 0;
  for (std::uint32_t raw = 0; raw <= 65535; ++raw) {
    if (platform::position_of_channel_value(channel_value(raw)) != raw) ++wrong;
  }
  EXPECT_EQ(wrong, 0u);
  // Any other value: the nearest position, within the range.
  EXPECT_EQ(platform::position_of_channel_value(0.6f), 65535u);
  EXPECT_EQ(platform::position_of_channel_value(-7.0f), 0u);
  EXPECT_EQ(platform::position_of_channel_value(0.0f), 32768u);  // 32767.5 rounds up
  EXPECT_EQ(platform::position_of_channel_value(0.25f), 49151u);  // 49151.25
}

TEST_F(JoystickSource, CentreIsHalfTheRangeNotTheMidpointOfTheLimits) {
  fix_scale(100, 1100);
  EXPECT_EQ(g_axis_range, 1000.0f);
  EXPECT_EQ(g_axis_centre, 500.0f);
  EXPECT_EQ(channel_value(600), static_cast<float>(100.0 / 1000.0));
  EXPECT_EQ(channel_value(100), static_cast<float>(-400.0 / 1000.0));
}

TEST_F(JoystickSource, MaximumBelowMinimumWrapsToAHugeRange) {
  fix_scale(10, 5);
  // 4294967291 has no float of its own: it is held as 2^32.
  EXPECT_EQ(g_axis_range, 4294967296.0f);
  EXPECT_EQ(g_axis_centre, 2147483648.0f);
  EXPECT_EQ(channel_value(0), -0.5f);
  EXPECT_EQ(channel_value(4294967295u), static_cast<float>(2147483647.0 / 4294967296.0));
}

TEST_F(JoystickSource, RawPositionsAreUnsigned) {
  fix_scale(0, 65535);
  // The top raw value is far beyond the right-hand limit, never -1 below the left one.
  EXPECT_EQ(channel_value(4294967295u), static_cast<float>((4294967295.0 - 32767.5) / 65535.0));
  EXPECT_GT(channel_value(4294967295u), 65000.0f);
}

// An axis the user's mapping scaled is a position 0..65535 whatever the X
// axis's limits; the others keep those limits' scale.
TEST_F(JoystickSource, MappedAxesAreScaledAsPositionsTheOthersByTheXLimits) {
  fix_scale(100, 1100);
  using platform::MappedAxis;
  const platform::JoystickState state{600, 0, 65535, 350, 0, 0b0110};  // Y and Rudder mapped
  EXPECT_EQ(axis_value(state, MappedAxis::X), static_cast<float>(100.0 / 1000.0));
  EXPECT_EQ(axis_value(state, MappedAxis::Y), -0.5f);
  EXPECT_EQ(axis_value(state, MappedAxis::RUDDER), static_cast<float>((350 - 32767.5) / 65535.0));
  EXPECT_EQ(axis_value(state, MappedAxis::THRUST), static_cast<float>(65035.0 / 1000.0));
  EXPECT_EQ(axis_bar_range(state, MappedAxis::X), 1000.0f);
  EXPECT_EQ(axis_bar_range(state, MappedAxis::RUDDER), 65535.0f);
}

TEST_F(JoystickSource, OneReadingPerSampleStoredAsXYRudderThrust) {
  // Limits other than 0..65535 show that one scale, the X axis's, serves every axis.
  fix_scale(100, 1100);
  ASSERT_EQ(define_joystick_channels(), 0);
  m_device.set_axes(/*x=*/600, /*y=*/100, /*z=*/1100, /*r=*/350);
  const int reads_before = m_device.reads();
  EXPECT_EQ(sample_joystick(), 0);
  EXPECT_EQ(m_device.reads(), reads_before + 1);

  std::vector<std::uint32_t> words = data_block_words();
  ASSERT_EQ(words.size(), 12u);
  EXPECT_EQ(words[0], 1u);
  EXPECT_EQ(words[1], 1u);
  EXPECT_EQ(value_of(words[2]), static_cast<float>(100.0 / 1000.0));  // X
  EXPECT_EQ(words[3], 2u);
  EXPECT_EQ(words[4], 1u);
  EXPECT_EQ(value_of(words[5]), static_cast<float>(-400.0 / 1000.0));  // Y
  EXPECT_EQ(words[6], 3u);
  EXPECT_EQ(words[7], 1u);
  EXPECT_EQ(value_of(words[8]), static_cast<float>(-150.0 / 1000.0));  // Rudder from r
  EXPECT_EQ(words[9], 4u);
  EXPECT_EQ(words[10], 1u);
  EXPECT_EQ(value_of(words[11]), static_cast<float>(600.0 / 1000.0));  // Thrust from z

  // The next sample replaces every value.
  m_device.set_axes(1100, 4294967295u, 100, 500);
  sample_joystick();
  words = data_block_words();
  ASSERT_EQ(words.size(), 12u);
  EXPECT_EQ(value_of(words[2]), 0.6f);
  EXPECT_EQ(value_of(words[5]), static_cast<float>((4294967295.0 - 500.0) / 1000.0));
  EXPECT_EQ(value_of(words[8]), 0.0f);
  EXPECT_EQ(value_of(words[11]), -0.4f);
  EXPECT_EQ(m_device.reads(), reads_before + 2);
}

TEST_F(JoystickSource, AbsentDeviceSamplesAsCentred) {
  fix_scale(0, 65535);
  define_joystick_channels();
  m_device.set_axes(0, 0, 0, 0);
  m_device.set_buttons(0xff);
  m_device.set_present(false);
  sample_joystick();
  std::vector<std::uint32_t> words = data_block_words();
  ASSERT_EQ(words.size(), 12u);
  const float centred = static_cast<float>(-0.5 / 65535.0);
  for (std::size_t value_word : {2u, 5u, 8u, 11u}) EXPECT_EQ(value_of(words[value_word]), centred);
}

TEST_F(JoystickSource, NoDataBlockBeforeTheChannelsAreDefined) {
  fix_scale(0, 65535);
  EXPECT_EQ(sample_joystick(), 0);
  EXPECT_TRUE(data_block_words().empty());
  EXPECT_EQ(errno, ENOENT);
  // Defining the channels afterwards still finds no block built by that sample.
  define_joystick_channels();
  EXPECT_TRUE(data_block_words().empty());
  EXPECT_EQ(errno, EINVAL);
  sample_joystick();
  EXPECT_EQ(data_block_words().size(), 12u);
}

}  // namespace

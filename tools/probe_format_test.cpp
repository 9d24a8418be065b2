#include "tools/probe_format.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <limits>

namespace probe {
namespace {

// What every channel of the headless server reads: (32767 - 32767.5) / 65535.
const float CENTRED = static_cast<float>((32767.0 - 32767.5) / 65535.0);

client::ChannelRecordInfo record(std::int32_t index, const std::string& name, std::int32_t usage,
                                 std::int32_t dims) {
  client::ChannelRecordInfo r{};
  r.index = index;
  r.name = name;
  r.word12 = usage;
  r.word14 = dims;
  return r;
}

client::ChannelInfo joystick_table() {
  client::ChannelInfo info{};
  info.head_word_a = 524288;
  info.head_word_b = 1;
  info.record_count = 5;
  client::ChannelRecordInfo head = record(0, "", 5, 12);
  head.word13 = 200;
  info.records = {head, record(1, "X", 3, 1), record(2, "Y", 4, 1), record(3, "Rudder", 7, 1),
                  record(4, "Thrust", 5, 1)};
  return info;
}

TEST(Printable, ControlBytesAreEscapedAndTheRestKept) {
  EXPECT_EQ(printable("Orvandelcaster"), "Orvandelcaster");
  EXPECT_EQ(printable("a\x1b[2Jb\n\x7f"), "a\\x1b[2Jb\\x0a\\x7f");
  EXPECT_EQ(printable("J\xc3\xb6rg"), "J\xc3\xb6rg");
}

TEST(FormatRegistry, OneLinePerSlotOrASentenceForNone) {
  EXPECT_EQ(format_registry({}), "No server is published in the registry.\n");
  EXPECT_EQ(format_registry({{0, "Orvandelcaster", 41187}, {31, "bad\x1b]0;x", 7}}),
            "slot  port   name\n"
            "   0  41187  Orvandelcaster\n"
            "  31  7      bad\\x1b]0;x\n");
}

TEST(FormatHeadReal, WholeAndMillionthsShareTheSign) {
  EXPECT_EQ(format_head_real(0, 0), "0.000000");
  EXPECT_EQ(format_head_real(2, 500000), "2.500000");
  EXPECT_EQ(format_head_real(-1, -250000), "-1.250000");
  EXPECT_EQ(format_head_real(0, -250000), "-0.250000");
  EXPECT_EQ(format_head_real(INT_MIN, -999999), "-2147483648.999999");
}

TEST(FormatChannelTable, HeadAndOneLinePerChannel) {
  EXPECT_EQ(format_channel_table(joystick_table()),
            "Channels:     4 (table capacity 200, data block 12 words)\n"
            "Head:         0.000000 0.000000 0.000000 524288 1\n"
            "\n"
            "  index  name    usage  values\n"
            "      1  X           3       1\n"
            "      2  Y           4       1\n"
            "      3  Rudder      7       1\n"
            "      4  Thrust      5       1\n");

  client::ChannelInfo empty{};
  empty.records = {record(0, "", 1, 0)};
  std::string text = format_channel_table(empty);
  EXPECT_NE(text.find("Channels:     0"), std::string::npos);
  EXPECT_EQ(text.find("index"), std::string::npos);
}

TEST(FormatDataLine, BlockSecondsThenEachChannelInBlockOrder) {
  std::map<std::int32_t, std::string> names = channel_names(joystick_table());
  client::DataBlock data;
  data.channels = {{1, {CENTRED}}, {2, {0.5f}}, {3, {-0.5f}}, {4, {0.25f}}};
  EXPECT_EQ(format_data_line(3, 0.2, data, names),
            "3 0.200 X=-0.000008 Y=+0.500000 Rudder=-0.500000 Thrust=+0.250000\n");

  // A channel the table does not name, and one with several values.
  data.channels = {{7, {1.0f}}, {2, {0.0f, -1.5f}}};
  EXPECT_EQ(format_data_line(1, 0.0, data, names), "1 0.000 #7=+1.000000 Y=+0.000000,-1.500000\n");
}

TEST(FormatBar, FillsFromZeroTowardTheValue) {
  EXPECT_EQ(format_bar(0.0f, 4), "    |    ");
  EXPECT_EQ(format_bar(CENTRED, 4), "    |    ");
  EXPECT_EQ(format_bar(0.5f, 4), "    |####");
  EXPECT_EQ(format_bar(-0.25f, 4), "  ##|    ");
  EXPECT_EQ(format_bar(0.125f, 4), "    |#   ");
}

TEST(FormatBar, OffScaleAndNotANumberAreMarked) {
  EXPECT_EQ(format_bar(0.75f, 4), "    |###>");
  EXPECT_EQ(format_bar(-std::numeric_limits<float>::infinity(), 4), "<###|    ");
  EXPECT_EQ(format_bar(std::nanf(""), 4), "    ?    ");
}

TEST(FormatTerminalView, RedrawsFromTheTopAndClearsLeftovers) {
  std::map<std::int32_t, std::string> names = channel_names(joystick_table());
  client::DataBlock data;
  data.channels = {{1, {0.5f}}, {4, {CENTRED}}};
  std::string view = format_terminal_view("title", data, names);
  EXPECT_EQ(view.rfind("\x1b[Htitle\x1b[K\n\x1b[K\n", 0), 0u);
  EXPECT_NE(view.find("  X       +0.500000   -0.5 [" + format_bar(0.5f, 25) + "] +0.5\x1b[K\n"),
            std::string::npos);
  EXPECT_NE(view.find("  Thrust  -0.000008   -0.5 [" + format_bar(CENTRED, 25) + "] +0.5\x1b[K\n"),
            std::string::npos);
  EXPECT_EQ(view.substr(view.size() - 3), "\x1b[J");
}

}  // namespace
}  // namespace probe

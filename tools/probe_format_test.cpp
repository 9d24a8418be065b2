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

TEST(FormatRegistry, OneLinePerSlotWithWhatListensOrASentenceForNone) {
  using client::SlotState;
  EXPECT_EQ(format_registry({}), "No server is published in the registry.\n");
  EXPECT_EQ(format_registry({{0, "Orvandelcaster", 41187, SlotState::SERVING},
                             {1, "Old", 5, SlotState::DEAD},
                             {2, "Theirs", 6, SlotState::OTHER_USER, "user nobody (uid 65534)"},
                             {3, "Wine", 8, SlotState::LISTENING},
                             {31, "bad\x1b]0;x", 7, SlotState::UNKNOWN}}),
            "slot  port   name            state\n"
            "   0  41187  Orvandelcaster  serving\n"
            "   1  5      Old             dead\n"
            "   2  6      Theirs          another user's: user nobody (uid 65534)\n"
            "   3  8      Wine            listening (owner unknown)\n"
            "  31  7      bad\\x1b]0;x     unknown\n");
}

TEST(FormatRegistry, AServerBusyWithAClientIsSaidToBeSo) {
  const std::string busy =
      "\"Orvandelcaster\" is busy with a client: it is published again when the session ends.\n";
  EXPECT_EQ(format_registry({}, "Orvandelcaster"), busy);
  EXPECT_EQ(format_registry({{4, "Orvandelcaster", 9, client::SlotState::DEAD}}, "Orvandelcaster"),
            "slot  port   name            state\n"
            "   4  9      Orvandelcaster  dead\n" +
                busy);
}

TEST(FormatHeadReal, WholeAndMillionthsShareTheSign) {
  EXPECT_EQ(format_head_real(0, 0), "0.000000");
  EXPECT_EQ(format_head_real(2, 500000), "2.500000");
  EXPECT_EQ(format_head_real(-1, -250000), "-1.250000");
  EXPECT_EQ(format_head_real(0, -250000), "-0.250000");
  EXPECT_EQ(format_head_real(INT_MIN, -999999), "-2147483648.999999");
}

TEST(FormatChannelTable, NamesUsagesAndTheBlockSizeRawFieldsOnlyWhenAsked) {
  // The table as the server sends it before any data request: block words 0.
  client::ChannelInfo before = joystick_table();
  before.records[0].word14 = 0;
  const std::string readable =
      "Channels:     4\n"
      "Data block:   48 bytes\n"
      "\n"
      "  name    usage   values\n"
      "  X       X            1\n"
      "  Y       Y            1\n"
      "  Rudder  Rudder       1\n"
      "  Thrust  Thrust       1\n";
  EXPECT_EQ(format_channel_table(before), readable);
  EXPECT_EQ(format_channel_table(joystick_table()), readable);

  EXPECT_EQ(format_channel_table(joystick_table(), true),
            "Channels:     4\n"
            "Data block:   48 bytes\n"
            "Table head:   5 records, capacity 200, data block 12 words\n"
            "Reply head:   0.000000 0.000000 0.000000 524288 1\n"
            "\n"
            "  index  name    usage    code  values\n"
            "      1  X       X           3       1\n"
            "      2  Y       Y           4       1\n"
            "      3  Rudder  Rudder      7       1\n"
            "      4  Thrust  Thrust      5       1\n");

  client::ChannelInfo empty{};
  empty.records = {record(0, "", 1, 0)};
  EXPECT_EQ(format_channel_table(empty), "Channels:     0\nData block:   0 bytes\n");
}

TEST(FormatChannelTable, TheBlockSizeCountsOnlyChannelsWithValues) {
  client::ChannelInfo info{};
  info.records = {record(0, "", 4, 0), record(1, "Pair", 42, 2), record(2, "None", 3, 0),
                  record(3, "Bad", 3, -5)};
  EXPECT_EQ(data_block_bytes(info), 16);
  EXPECT_NE(format_channel_table(info).find("  Pair  code 42       2\n"), std::string::npos)
      << format_channel_table(info);
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

TEST(FormatValue, EveryJoystickValueReadsApart) {
  std::string previous = format_value(static_cast<float>((0 - 32767.5) / 65535.0));
  EXPECT_EQ(previous, "-0.500000");
  for (int raw = 1; raw <= 65535; ++raw) {
    std::string shown = format_value(static_cast<float>((raw - 32767.5) / 65535.0));
    ASSERT_EQ(shown.size(), 9u) << shown;
    ASSERT_NE(shown, previous) << "raw " << raw;
    previous = shown;
  }
  EXPECT_EQ(previous, "+0.500000");
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

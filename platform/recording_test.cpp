#include "platform/recording.h"

#include <gtest/gtest.h>

#include <string>

namespace platform {
namespace {

TEST(Recording, ColumnsAreFoundByNameAndValuesHoldUntilTheNextRow) {
  // Columns in another order, quoted names, an extra column, CRLF lines.
  Recording recording;
  ASSERT_EQ(parse_recording("\"Thrust\",seconds,extra,\"Y\",X,Rudder\r\n"
                            "0.5,0.000000,\"a,\"\"b\",-0.5,0,-7\r\n"
                            "-0.5,0.020000,,0.25,1e-05,0.6\r\n"
                            "\n"
                            "0,0.030000,,0,0,0\n",
                            &recording),
            "");
  ASSERT_EQ(recording.rows.size(), 3u);
  // x, y, z (Thrust), r (Rudder); out of range clamps; no buttons.
  const JoystickState first{32768, 0, 65535, 0, 0};
  const JoystickState second{32768, 49151, 0, 65535, 0};
  EXPECT_EQ(recording.rows[0].state, first);
  EXPECT_EQ(recording.rows[1].state, second);
  // Intervals 0.02 and 0.01: the median is 0.015, the loop 0.045 long.
  EXPECT_DOUBLE_EQ(recording.length, 0.045);
  EXPECT_EQ(recording.state_at(0.0199), first);
  EXPECT_EQ(recording.state_at(0.02), second);
  EXPECT_EQ(recording.state_at(0.044), recording.rows[2].state);
  EXPECT_EQ(recording.state_at(0.045 + 0.021), second);  // the second pass
  EXPECT_DOUBLE_EQ(recording.next_change_after(0.0), 0.02);
  EXPECT_DOUBLE_EQ(recording.next_change_after(0.035), 0.045);
  EXPECT_DOUBLE_EQ(recording.next_change_after(0.05), 0.065);

  // One row at 0 s holds for ever.
  ASSERT_EQ(parse_recording("seconds,X,Y,Rudder,Thrust\n0,0,0,0,0\n", &recording), "");
  EXPECT_EQ(recording.length, 0.0);
  EXPECT_LT(recording.next_change_after(5.0), 0.0);
}

TEST(Recording, FaultsNameTheirLine) {
  using namespace std::string_literals;
  const std::string header = "seconds,X,Y,Rudder,Thrust\n";
  struct Row {
    std::string text;
    std::string reason;
  } rows[] = {
      {"", "it has no header line"},
      {header, "it has no reading after the header"},
      {"seconds,X,Y,Rudder\n0,0,0,0\n", "line 1: the header has no column \"Thrust\""},
      {"seconds,X,X,Y,Rudder,Thrust\n", "line 1: the header has two columns \"X\""},
      {"\x7f" "ELF\x02\x01\x01\0\0\0\n\0\0"s, "line 1: the header has no column \"seconds\""},
      {header + "0,0,0,0,0\n0.1,0,0,0\n", "line 3: 4 fields where the header has 5"},
      {header + "0,0,0,0,\"0\n", "line 2: a quoted field is not closed properly"},
      {header + "0,0,0,0,\"0\"x\n", "line 2: a quoted field is not closed properly"},
      {header + "-1,0,0,0,0\n", "line 2: the seconds are not a number of 0 or more"},
      {header + "nan,0,0,0,0\n", "line 2: the seconds are not a number of 0 or more"},
      {header + "1,0,0,0,0\n0.5,0,0,0,0\n", "line 3: the seconds are less than the line before's"},
      {header + "0,0, 1,0,0\n", "line 2: the Y value is not a number"},
      {header + "0,0,0,inf,0\n", "line 2: the Rudder value is not a number"},
      {header + "0,0,0,0,1e99\n", "line 2: the Thrust value is not a number"},
      {header + "1e10,0,0,0,0\n", "line 2: the seconds are more than 1000000000"},
      {"seconds,X,Y,Rudder,Thrust" + std::string(1019, ',') + "\n0,0,0,0,0" +
           std::string(1019, ',') + "\n",
       ""},
      {header + "0,0,0,0,0" + std::string(1020, ',') + "\n", "line 2: more than 1024 fields"},
  };
  for (const Row& row : rows) {
    Recording recording;
    EXPECT_EQ(parse_recording(row.text, &recording), row.reason) << row.text;
  }
}

// -1e-20 lies just below the centre 32767.5, so its nearest position is
// 32767 (one above when the halves are added in double).
TEST(Recording, TinyValuesReadAsTheirNearestPosition) {
  EXPECT_EQ(position_of_channel_value(-1e-20f), 32767u);
  EXPECT_EQ(position_of_channel_value(-1e-45f), 32767u);
  EXPECT_EQ(position_of_channel_value(1e-20f), 32768u);
}

}  // namespace
}  // namespace platform

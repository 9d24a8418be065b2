#include "tools/probe_joysticks.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/fake_multimedia_joysticks.h"

namespace {

using FakeJoysticks = platform::FakeMultimediaJoysticks;

const char FOOTNOTE[] =
    "Joystick 0 is the multimedia joystick calls' id 0 (JOYSTICKID1); the Game\n"
    "Controllers settings (joy.cpl) choose which joystick that is.\n";

TEST(ProbeJoysticks, ListsEachAnsweringIdWithItsAxesAndMarksJoystickZero) {
  FakeJoysticks calls;
  calls.entries[0] = {
      {"Stick\x1b[2J", 4, {{'X', 0, 65535}, {'Y', 0, 65535}, {'Z', 0, 255}, {'R', 0, 1023}}}};
  calls.entries[1] = {{"Unplugged pad", 2, {{'X', 0, 65535}, {'Y', 0, 65535}}}, false};
  calls.entries[2] = {{"Pad", 2, {{'X', 0, 1023}, {'Y', 0, 1023}}}};
  calls.entries[16] = {{"Past the count", 2, {}}};
  EXPECT_EQ(
      probe::format_joysticks(calls),
      std::string(
          "ID  AXES                                            NAME\n"
          "0   4: X 0..65535, Y 0..65535, Z 0..255, R 0..1023  \"Stick\\x1b[2J\", joystick 0\n"
          "2   2: X 0..1023, Y 0..1023                         \"Pad\"\n"
          "\n"
          "Joystick 0: Stick\\x1b[2J (id 0)\n") +
          FOOTNOTE);
}

TEST(ProbeJoysticks, SaysWhenThereIsNoJoystickZero) {
  struct Case {
    const char* what;
    unsigned ids;
    std::map<unsigned, FakeJoysticks::Entry> entries;
    const char* listing;
  };
  const Case cases[] = {
      {"no joystick at all (Wine)",
       16,
       {},
       "No joystick: none of the 16 ids of the multimedia joystick calls answers.\n"},
      {"the driver has no ids",
       0,
       {{0, {{"Stick", 2, {}}}}},
       "No joystick: none of the 0 ids of the multimedia joystick calls answers.\n"},
      {"id 0 known but not answering",
       16,
       {{0, {{"Stick", 2, {}}, false}}},
       "No joystick: none of the 16 ids of the multimedia joystick calls answers.\n"},
      {"only another id answers",
       16,
       {{3, {{"Pad", 2, {{'X', 0, 9}, {'Y', 0, 9}}}}}},
       "ID  AXES               NAME\n"
       "3   2: X 0..9, Y 0..9  \"Pad\"\n"},
  };
  for (const Case& c : cases) {
    FakeJoysticks calls;
    calls.ids = c.ids;
    calls.entries = c.entries;
    EXPECT_EQ(probe::format_joysticks(calls),
              std::string(c.listing) + "\nJoystick 0: No joystick\n" + FOOTNOTE)
        << c.what;
  }
}

// "joystick = N" makes id N - 1 joystick 0; a value that is no such number
// leaves none.
TEST(ProbeJoysticks, MarksTheChosenJoystick) {
  FakeJoysticks calls;
  calls.entries[0] = {{"Stick", 2, {{'X', 0, 65535}, {'Y', 0, 65535}}}};
  calls.entries[2] = {{"Pedals", 2, {{'X', 0, 1023}, {'Y', 0, 1023}}}};
  const std::string ids =
      "ID  AXES                       NAME\n"
      "0   2: X 0..65535, Y 0..65535  \"Stick\"\n";
  EXPECT_EQ(probe::format_joysticks(calls, {2, true, "C:\\Users\\u\\settings.conf"}),
            ids +
                "2   2: X 0..1023, Y 0..1023    \"Pedals\", joystick 0\n"
                "\n"
                "Joystick 0: Pedals (id 2)\n"
                "Joystick 0 is the multimedia joystick calls' id 2 (joystick = 3), chosen in "
                "C:\\Users\\u\\settings.conf.\n");
  EXPECT_EQ(probe::format_joysticks(calls, {std::nullopt, true, "ORVANDELCASTER_JOYSTICK"}),
            ids +
                "2   2: X 0..1023, Y 0..1023    \"Pedals\"\n"
                "\n"
                "Joystick 0: Joystick not found\n"
                "The joystick chosen by ORVANDELCASTER_JOYSTICK is no number from 1 to 16.\n");
}

}  // namespace

TEST(ProbeJoysticks, AJoysticksSixAxesReadWithTheRangesItsCapabilitiesName) {
  FakeJoysticks calls;
  std::vector<platform::DeviceAxis> axes;
  EXPECT_FALSE(probe::read_joystick_axes(calls, 0, &axes)) << "no joystick 0";
  calls.entries[0] = {{"Pad", 3, {{'X', 0, 65535}, {'Y', 0, 65535}, {'U', 10, 1023}}},
                      true,
                      {{100, 200, 300, 400, 500, 600}}};
  ASSERT_TRUE(probe::read_joystick_axes(calls, 0, &axes));
  EXPECT_EQ(axes, (std::vector<platform::DeviceAxis>{{0, 0, 65535, 0, 0, 100},
                                                     {1, 0, 65535, 0, 0, 200},
                                                     {2, 0, 0, 0, 0, 0},
                                                     {3, 0, 0, 0, 0, 0},
                                                     {4, 10, 1023, 0, 0, 500},
                                                     {5, 0, 0, 0, 0, 0}}));
  calls.entries[0].answers = false;
  EXPECT_FALSE(probe::read_joystick_axes(calls, 0, &axes)) << "unplugged";
}

#include "tools/probe_options.h"

#include <gtest/gtest.h>

namespace probe {
namespace {

struct Parsed {
  bool ok;
  ProbeOptions options;
  std::string error;
};

Parsed parse(std::vector<std::string> args) {
  Parsed parsed;
  parsed.ok = parse_probe_options(args, &parsed.options, &parsed.error);
  return parsed;
}

TEST(ProbeOptions, CommandAloneTakesTheDefaults) {
  Parsed parsed = parse({"info"});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(parsed.options.command, Command::INFO);
  EXPECT_EQ(parsed.options.name, "Orvandelcaster");
  EXPECT_EQ(parsed.options.registry, "");
  EXPECT_EQ(parsed.options.protocol, 300u);
  EXPECT_EQ(parsed.options.timeout_ms, 5000);
  EXPECT_FALSE(parsed.options.help);
}

TEST(ProbeOptions, OptionsStandAnywhereInEitherForm) {
  Parsed parsed = parse({"--registry=/reg", "--protocol", "301", "watch", "--rate", "2.5", "Joy",
                         "--count=3", "--plain", "--timeout", "250"});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(parsed.options.command, Command::WATCH);
  EXPECT_EQ(parsed.options.name, "Joy");
  EXPECT_EQ(parsed.options.registry, "/reg");
  EXPECT_EQ(parsed.options.protocol, 301u);
  EXPECT_EQ(parsed.options.timeout_ms, 250);
  EXPECT_DOUBLE_EQ(parsed.options.rate_hz, 2.5);
  EXPECT_EQ(parsed.options.count, 3u);
  EXPECT_TRUE(parsed.options.plain);

  for (const char* command : {"info", "watch"}) {
    Parsed named = parse({command, "--name", "Stick 2"});
    ASSERT_TRUE(named.ok) << named.error;
    EXPECT_EQ(named.options.name, "Stick 2");
  }

  Parsed dashed = parse({"info", "--", "-odd-name"});
  ASSERT_TRUE(dashed.ok) << dashed.error;
  EXPECT_EQ(dashed.options.name, "-odd-name");
}

TEST(ProbeOptions, HelpIsShownEvenNextToAMistake) {
  Parsed program = parse({"--help"});
  ASSERT_TRUE(program.ok);
  EXPECT_TRUE(program.options.help);
  EXPECT_EQ(program.options.command, Command::NONE);

  Parsed watch = parse({"watch", "--bogus", "-h", "--rate", "0"});
  ASSERT_TRUE(watch.ok);
  EXPECT_TRUE(watch.options.help);
  EXPECT_EQ(watch.options.command, Command::WATCH);
}

TEST(ProbeOptions, VersionIsAnsweredAloneOrNextToACommand) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--version"}, {"list", "--version", "--bogus"}}) {
    Parsed parsed = parse(args);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_TRUE(parsed.options.version);
  }
}

TEST(ProbeOptions, BadUsageIsRefusedWithItsReason) {
  struct Case {
    std::vector<std::string> args;
    const char* reason;
  };
  const Case cases[] = {
      {{}, "no command given"},
      {{"frob"}, "unknown command \"frob\""},
      {{"info", "--frob"}, "unknown option \"--frob\""},
      {{"list", "Orvandelcaster"}, "list takes no server name"},
      {{"info", "A", "B"}, "unexpected argument \"B\""},
      {{"info", ""}, "1 to 107 characters"},
      {{"info", std::string(108, 'n')}, "1 to 107 characters"},
      {{"info", "--name="}, "1 to 107 characters"},
      {{"info", "A", "--name", "B"}, "--name and a NAME argument exclude each other"},
      {{"list", "--name", "A"}, "list shows every name"},
      {{"devices", "--name", "A"}, "--name does not apply to devices"},
      {{"info", "--count", "3"}, "--count belongs to watch"},
      {{"list", "--plain"}, "--plain belongs to watch"},
      {{"watch", "--raw"}, "--raw belongs to info, not to watch"},
      {{"watch", "--plain=yes"}, "--plain takes no value"},
      {{"watch", "--rate"}, "--rate needs a value"},
      {{"info", "--rate", "5"}, "--rate belongs to watch and record, not to info"},
      {{"watch", "--seconds", "2"}, "--seconds belongs to record, not to watch"},
      {{"record", "--count", "2", "--seconds", "2"}, "--count and --seconds exclude each other"},
      {{"record", "--seconds", "0"}, "--seconds takes seconds, more than 0 and at most 86400"},
      {{"record", "--output="}, "--output needs the name of a file"},
      {{"info", "--registry="}, "--registry needs"},
      // What the user typed is shown, but on one line and without steering the terminal.
      {{"info", "--timeout", "5\nOrvandelcaster: x"},
       "--timeout takes milliseconds from 1 to 3600000, not \"5\\x0aOrvandelcaster: x\""},
      {{"fr\x1b[2Job"}, "unknown command \"fr\\x1b[2Job\""},
  };
  for (const Case& c : cases) {
    Parsed parsed = parse(c.args);
    EXPECT_FALSE(parsed.ok) << c.reason;
    EXPECT_NE(parsed.error.find(c.reason), std::string::npos) << parsed.error;
  }
}

TEST(ProbeOptions, RecordTakesItsServerAndItsOwnRate) {
  Parsed plain = parse({"record"});
  ASSERT_TRUE(plain.ok) << plain.error;
  EXPECT_EQ(plain.options.command, Command::RECORD);
  EXPECT_DOUBLE_EQ(plain.options.rate_hz, RECORD_RATE_HZ);
  Parsed full = parse({"record", "Other", "--rate=20", "--seconds", "1.5", "--output", "t.csv"});
  ASSERT_TRUE(full.ok) << full.error;
  EXPECT_EQ(full.options.name, "Other");
  EXPECT_DOUBLE_EQ(full.options.rate_hz, 20.0);
  EXPECT_DOUBLE_EQ(full.options.seconds, 1.5);
  EXPECT_EQ(full.options.output, "t.csv");
}

TEST(ProbeOptions, NumbersMustBeWholeDecimalAndInRange) {
  const std::vector<std::vector<std::string>> refused = {
      {"watch", "--count", "0"},      {"watch", "--count", "-1"},
      {"watch", "--count", "1e3"},    {"watch", "--count", "0x10"},
      {"watch", "--rate", "0"},       {"watch", "--rate", "1000.5"},
      {"watch", "--rate", "nan"},     {"watch", "--rate", "-2"},
      {"watch", "--rate", "0.0009"},  {"record", "--rate", "1e-10"},
      {"info", "--timeout", "0"},     {"info", "--timeout", "3600001"},
      {"info", "--timeout", "5s"},    {"info", "--protocol", "4294967296"},
      {"info", "--protocol", " 300"}, {"watch", "--count", "99999999999999999999999"},
  };
  for (const auto& args : refused) {
    Parsed parsed = parse(args);
    EXPECT_FALSE(parsed.ok) << args[1] << " " << args[2];
  }
  Parsed edges = parse({"watch", "--protocol", "4294967295", "--timeout", "3600000", "--rate",
                        "1000", "--count", "010"});
  ASSERT_TRUE(edges.ok) << edges.error;
  EXPECT_EQ(edges.options.protocol, 4294967295u);
  EXPECT_EQ(edges.options.timeout_ms, 3600000);
  EXPECT_DOUBLE_EQ(edges.options.rate_hz, 1000.0);
  EXPECT_EQ(edges.options.count, 10u);
}

TEST(ProbeOptions, EachCommandHasItsOwnHelp) {
  EXPECT_NE(help_text(Command::NONE).find("Usage: capture-probe [OPTIONS] COMMAND"),
            std::string::npos);
  EXPECT_NE(help_text(Command::LIST).find("Usage: capture-probe list"), std::string::npos);
  EXPECT_NE(help_text(Command::INFO).find("Usage: capture-probe info [NAME]"), std::string::npos);
  std::string watch = help_text(Command::WATCH);
  EXPECT_NE(watch.find("Usage: capture-probe watch [NAME]"), std::string::npos);
  EXPECT_NE(watch.find("--rate HZ"), std::string::npos);
  EXPECT_NE(watch.find("--count N"), std::string::npos);
  EXPECT_EQ(help_text(Command::INFO).find("--rate"), std::string::npos);
}

TEST(ProbeOptions, AddressNamesHostAndPortInsteadOfTheRegistry) {
  Parsed parsed = parse({"info", "--address", "127.0.0.1:5000"});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(parsed.options.address_host, "127.0.0.1");
  EXPECT_EQ(parsed.options.address_port, 5000);

  parsed = parse({"watch", "--address=localhost:65535", "--count", "1"});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(parsed.options.address_host, "localhost");
  EXPECT_EQ(parsed.options.address_port, 65535);

  EXPECT_TRUE(parse({"info"}).options.address_host.empty());
}

TEST(ProbeOptions, AddressNeedsAHostAndAUsablePortAndNoRegistry) {
  for (const char* bad : {"127.0.0.1", "127.0.0.1:", ":5000", "127.0.0.1:0", "127.0.0.1:65536",
                          "127.0.0.1:50x", "127.0.0.1:-1"}) {
    Parsed parsed = parse({"info", "--address", bad});
    EXPECT_FALSE(parsed.ok) << bad;
    EXPECT_NE(parsed.error.find("--address takes HOST:PORT"), std::string::npos) << parsed.error;
  }
  Parsed parsed = parse({"info", "--address", "127.0.0.1:5000", "--registry", "/reg"});
  EXPECT_FALSE(parsed.ok);
  EXPECT_EQ(parsed.error, "--address and --registry exclude each other");
  parsed = parse({"list", "--address", "127.0.0.1:5000"});
  EXPECT_FALSE(parsed.ok);
  EXPECT_EQ(parsed.error, "list reads the registry; --address is for info, watch and record");
}

TEST(ProbeOptions, DevicesTakesNoServerNameAndNoServerOption) {
  Parsed parsed = parse({"devices"});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(parsed.options.command, Command::DEVICES);
  EXPECT_EQ(parse({"devices", "Orvandelcaster"}).error, "devices takes no server name");
  EXPECT_EQ(parse({"--registry=/reg", "devices"}).error, "--registry does not apply to devices");
  EXPECT_EQ(parse({"devices", "--count", "1"}).error, "--count does not apply to devices");
  EXPECT_TRUE(parse({"devices", "--help"}).options.help);
}

TEST(ProbeOptions, AxesTakesADeviceAndNoServerOption) {
  EXPECT_EQ(parse({"axes"}).options.command, Command::AXES);
  EXPECT_EQ(parse({"axes", "Pad"}).error, "axes takes no server name");
  EXPECT_EQ(parse({"axes", "--timeout", "5"}).error, "--timeout does not apply to axes");
#ifdef _WIN32
  EXPECT_EQ(parse({"axes", "--device", "Pad"}).error,
            "--device is for Linux; on Windows axes shows joystick 0");
#else
  Parsed parsed = parse({"axes", "--device=/dev/input/event3"});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(parsed.options.device, "/dev/input/event3");
  EXPECT_EQ(parse({"axes", "--device="}).error,
            "--device needs a device path or a part of its name");
  EXPECT_EQ(parse({"watch", "--device", "Pad"}).error, "--device belongs to axes, not to watch");
#endif
}

}  // namespace
}  // namespace probe

// A capture client: finds Orvandelcaster by name, reads the joystick's axes
// once and prints each channel's name and value.
#include <orvandelcaster/client.h>

#include <cstdio>

int main(int argc, char** argv) {
  client::Connection server;
  client::ChannelInfo table;
  client::DataBlock block;
  if (!server.connect_to_server(argc > 1 ? argv[1] : "Orvandelcaster") ||
      !server.identify("capture example", "") || !server.check_version() ||
      !server.channel_info(&table) || !server.data(&block)) {
    std::fprintf(stderr, "capture_example: %s\n", server.error().c_str());
    return 1;
  }
  for (const client::ChannelValues& channel : block.channels)
    for (const client::ChannelRecordInfo& record : table.records)
      if (record.index == channel.index && !channel.values.empty())
        std::printf("%s %.3f\n", record.name.c_str(), channel.values[0]);
  server.end();
}

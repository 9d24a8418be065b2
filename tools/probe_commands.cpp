#include "tools/probe_commands.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "client/capture_client.h"
#include "platform/standard_error.h"
#include "protocol/registry_io.h"
#include "tools/probe_axes.h"
#include "tools/probe_csv.h"
#include "tools/probe_format.h"
#include "tools/probe_system.h"
#include "tools/stop_request.h"

namespace probe {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* IDENTIFICATION = "capture-probe";
constexpr const char* HIDE_CURSOR = "\x1b[?25l";
constexpr const char* SHOW_CURSOR = "\x1b[?25h";
constexpr const char* CLEAR_SCREEN = "\x1b[2J";

int report(std::FILE* err, const std::string& line) {
  std::fprintf(err, "capture-probe: %s\n", line.c_str());
  return STATUS_SERVER_FAILURE;
}

// True when the whole text reached out; errno tells why not.
bool emit(std::FILE* out, const std::string& text) {
  errno = 0;
  return std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fflush(out) == 0;
}

int output_failed(std::FILE* err) {
  return report(err, std::string("cannot write the output: ") + std::strerror(errno));
}

std::string quoted(const std::string& name) { return "\"" + printable(name) + "\""; }

// A wait for the registry has passed five seconds and goes on: said once, in
// one write, so the line never mixes with another.
void report_lock_wait(const char* object_name) {
  const std::string line = registry_lock_wait_line(IDENTIFICATION, object_name);
  platform::write_standard_error(line.data(), line.size());
}

const char* registry_argument(const ProbeOptions& options) {
  return options.registry.empty() ? nullptr : options.registry.c_str();
}

// A connected, identified session whose version the server accepted.
struct Session {
  client::Connection connection;
  std::uint16_t port = 0;
};

bool open_session(const ProbeOptions& options, Session* session, std::string* error) {
  client::Connection& connection = session->connection;
  connection.set_reply_timeout(options.timeout_ms);
  connection.set_registry_wait_notice(&report_lock_wait);
  if (!options.address_host.empty()) {
    // Reached by its address: the registry is not read.
    if (!connection.connect_to(options.address_host, options.address_port, options.timeout_ms)) {
      *error = quoted(options.name) + ": " + printable(connection.error());
      return false;
    }
  } else if (!connection.connect_to_server(options.name, registry_argument(options),
                                           options.timeout_ms)) {
    *error = printable(connection.error());
    return false;
  }
  session->port = connection.port();
  if (!connection.identify(IDENTIFICATION, user_name())) {
    *error =
        "identification with " + quoted(options.name) + " failed: " + printable(connection.error());
    return false;
  }
  if (!connection.check_version(options.protocol)) {
    *error = "version handshake with " + quoted(options.name) +
             " failed: " + printable(connection.error());
    return false;
  }
  return true;
}

// An open session and the server's channel table, for the commands that ask
// for data: false with the reason when either failed.
bool open_channels(const ProbeOptions& options, Session* session, client::ChannelInfo* channels,
                   std::string* error) {
  if (!open_session(options, session, error)) return false;
  if (!session->connection.channel_info(channels)) {
    *error = "channel table: " + printable(session->connection.error());
    return false;
  }
  return true;
}

// Ends the session politely; a server that went away already is no failure here.
void end_session(Session* session) {
  session->connection.end();
  session->connection.close();
}

// Whether a slot of name may have a listener on its port. A server that runs
// without one serves a client; a slot of its name left by an earlier run is
// dead, or taken over by another user.
bool may_be_listened_for(const std::vector<client::RegistryEntry>& entries,
                         const std::string& name) {
  for (const client::RegistryEntry& entry : entries) {
    if (entry.name == name && entry.state != client::SlotState::DEAD &&
        entry.state != client::SlotState::OTHER_USER) {
      return true;
    }
  }
  return false;
}

int run_list(const ProbeOptions& options, std::FILE* out, std::FILE* err) {
  client::Registry registry;
  if (!registry.open(registry_argument(options), &report_lock_wait)) {
    return report(err, registry.error());
  }
  std::vector<client::RegistryEntry> entries = registry.entries();
  if (entries.empty() && !registry.error().empty()) return report(err, registry.error());
  std::string busy_name;
  if (registry.running(options.name) && !may_be_listened_for(entries, options.name)) {
    busy_name = options.name;
  }
  if (!emit(out, format_registry(entries, busy_name))) return output_failed(err);
  return STATUS_OK;
}

int run_info(const ProbeOptions& options, std::FILE* out, std::FILE* err) {
  Session session;
  std::string error;
  if (!open_session(options, &session, &error)) return report(err, error);
  client::ServerInfo info;
  if (!session.connection.server_info(&info)) {
    return report(err, "server information: " + printable(session.connection.error()));
  }
  client::ChannelInfo channels;
  if (!session.connection.channel_info(&channels)) {
    return report(err, "channel table: " + printable(session.connection.error()));
  }
  end_session(&session);
  if (!emit(out,
            format_server_info(info, session.port) + format_channel_table(channels, options.raw))) {
    return output_failed(err);
  }
  return STATUS_OK;
}

// Hides the cursor for the redrawn view and shows it again on every way out.
class TerminalView {
 public:
  TerminalView(std::FILE* out, bool active) : m_out(out), m_active(active) {
    if (m_active) emit(m_out, std::string(HIDE_CURSOR) + CLEAR_SCREEN);
  }
  ~TerminalView() {
    if (m_active) emit(m_out, SHOW_CURSOR);
  }
  TerminalView(const TerminalView&) = delete;
  TerminalView& operator=(const TerminalView&) = delete;

 private:
  std::FILE* m_out;
  bool m_active;
};

std::string rate_text(double rate_hz) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", rate_hz);
  return text;
}

// The next round of a loop paced at period: a round slower than the period
// sets the pace, with no burst to catch up.
Clock::time_point paced(Clock::time_point next, Clock::duration period) {
  next += period;
  const Clock::time_point now = Clock::now();
  return next < now ? now : next;
}

// Ends a session whose output failed (errno tells why). The reader that went
// away (watch | head) ends the command: that is no failure.
int output_gone(Session* session, std::FILE* err) {
  const int reason = errno;
  end_session(session);
  errno = reason;
  return reason == EPIPE ? STATUS_OK : output_failed(err);
}

// What a command that samples a server's data blocks does with them.
struct Sampling {
  std::FILE* sink = nullptr;
  // The steady rate counts from the first reply rather than from the first
  // request, so a slow first reply (a server's first session) costs no block.
  bool pace_from_first_reply = false;
  double seconds = 0.0;  // requests go out for this long; 0: no limit
  // The text for a block, with the seconds since the first block's arrival;
  // false with the reason when the block cannot be shown.
  std::function<bool(std::uint64_t block, double seconds, const client::DataBlock& data,
                     std::string* text, std::string* refusal)>
      format;
  // Run when the sampling ran its course, before the session ends; false
  // (errno set) when the output failed.
  std::function<bool()> finish;
};

// Asks for data blocks at options' rate and writes each one as sampling
// formats it, until --count blocks, sampling's seconds or a stop request;
// then ends the session.
int sample_blocks(const ProbeOptions& options, Session* session, StopRequest* stop,
                  const Sampling& sampling, std::FILE* err) {
  const auto period = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(1.0 / options.rate_hz));
  const auto duration =
      std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(sampling.seconds));
  Clock::time_point next = Clock::now();
  Clock::time_point first_reply;
  for (std::uint64_t block = 1;; ++block) {
    client::DataBlock data;
    if (!session->connection.data(&data)) {
      std::string reason = printable(session->connection.error());
      end_session(session);
      return report(err, "data block " + std::to_string(block) + ": " + reason);
    }
    // Seconds count from the first block's arrival, so the first block reads 0.
    const Clock::time_point arrived = Clock::now();
    if (block == 1) {
      first_reply = arrived;
      if (sampling.pace_from_first_reply) next = arrived;
    }
    std::string text;
    std::string refusal;
    if (!sampling.format(block, std::chrono::duration<double>(arrived - first_reply).count(), data,
                         &text, &refusal)) {
      end_session(session);
      return report(err, refusal);
    }
    if (!emit(sampling.sink, text)) return output_gone(session, err);
    if (options.count != 0 && block == options.count) break;
    next = paced(next, period);
    // Requests go out k periods after the first reply, for k below seconds * rate.
    if (sampling.seconds > 0.0 && next - first_reply >= duration) break;
    if (stop->wait_until(next)) break;
  }
  if (sampling.finish && !sampling.finish()) return output_gone(session, err);
  if (!session->connection.end()) {
    return report(err, "ending the session: " + printable(session->connection.error()));
  }
  return STATUS_OK;
}

int run_watch(const ProbeOptions& options, std::FILE* out, std::FILE* err) {
  StopRequest stop;
  Session session;
  client::ChannelInfo channels;
  std::string error;
  if (!open_channels(options, &session, &channels, &error)) return report(err, error);
  std::map<std::int32_t, std::string> names = channel_names(channels);
  std::string where = printable(options.name) + " at 127.0.0.1:" + std::to_string(session.port);
  std::string rate = rate_text(options.rate_hz);

  bool terminal = !options.plain && is_terminal(out);
  TerminalView view(out, terminal);
  if (!terminal &&
      !emit(out, "# " + where + ", " + rate + " blocks a second: BLOCK SECONDS NAME=VALUE...\n")) {
    end_session(&session);
    return errno == EPIPE ? STATUS_OK : output_failed(err);
  }

  Sampling sampling;
  sampling.sink = out;
  sampling.format = [&](std::uint64_t block, double seconds, const client::DataBlock& data,
                        std::string* text, std::string*) {
    *text = terminal ? format_terminal_view(where + "   block " + std::to_string(block) + "   " +
                                                rate + " Hz   Ctrl-C to stop",
                                            data, names)
                     : format_data_line(block, seconds, data, names);
    return true;
  };
  return sample_blocks(options, &session, &stop, sampling, err);
}

// The file record writes to: standard output, or --output's file, closed
// (and its last bytes checked) when the object goes.
class RecordOutput {
 public:
  explicit RecordOutput(std::FILE* out) : m_file(out) {}
  ~RecordOutput() {
    if (m_owned) std::fclose(m_file);
  }
  RecordOutput(const RecordOutput&) = delete;
  RecordOutput& operator=(const RecordOutput&) = delete;

  bool open(const std::string& path) {
    m_file = std::fopen(path.c_str(), "w");
    m_owned = m_file != nullptr;
    return m_owned;
  }
  std::FILE* file() const { return m_file; }
  // Closes the file: false (errno set) when its last bytes did not reach it.
  bool close() {
    if (!m_owned) return true;
    m_owned = false;
    return std::fclose(m_file) == 0;
  }

 private:
  std::FILE* m_file;
  bool m_owned = false;
};

int run_record(const ProbeOptions& options, std::FILE* out, std::FILE* err) {
  StopRequest stop;
  Session session;
  client::ChannelInfo channels;
  std::string error;
  if (!open_channels(options, &session, &channels, &error)) return report(err, error);
  RecordOutput output(out);
  if (!options.output.empty() && !output.open(options.output)) {
    const std::string reason = std::strerror(errno);
    end_session(&session);
    return report(err, "cannot write " + printable(options.output) + ": " + reason);
  }
  const std::map<std::int32_t, std::string> names = channel_names(channels);

  client::DataBlock first_block;
  Sampling sampling;
  sampling.sink = output.file();
  sampling.pace_from_first_reply = true;
  sampling.seconds = options.seconds;
  sampling.format = [&](std::uint64_t block, double seconds, const client::DataBlock& data,
                        std::string* text, std::string* refusal) {
    if (block == 1) {
      first_block = data;
      *text = format_csv_header(data, names);
    } else if (!same_layout(first_block, data)) {
      *refusal = "data block " + std::to_string(block) +
                 " holds other channels than the first: the header no longer fits";
      return false;
    }
    *text += format_csv_row(seconds, data);
    return true;
  };
  sampling.finish = [&output] { return output.close(); };
  return sample_blocks(options, &session, &stop, sampling, err);
}

int run_devices(std::FILE* out, std::FILE* err) {
  std::string listing;
  std::string refusal;
  if (!list_devices(&listing, &refusal)) return report(err, refusal);
  if (!emit(out, listing)) return output_failed(err);
  return STATUS_OK;
}

// Often enough that a moved control shows at once, rarely enough to cost nothing.
constexpr auto AXES_PERIOD = std::chrono::milliseconds(50);

// Reads the device every AXES_PERIOD without waiting on it, and shows the
// axes when a value changed (and at the start): a redrawn frame on a
// terminal, a line elsewhere, so a file or pipe gets only the movements.
int run_axes(const ProbeOptions& options, std::FILE* out, std::FILE* err) {
  StopRequest stop;
  std::string error;
  std::unique_ptr<AxesSource> source = open_axes_source(options.device, &error);
  if (!source) return report(err, error);
  const bool terminal = is_terminal(out);
  bool failed = false;
  {
    // Ends before the failure's line, so the line stands below a whole frame
    // with the cursor shown again.
    TerminalView view(out, terminal);
    if (!terminal && !emit(out, "# " + source->title() +
                                    ": SECONDS AXIS=VALUE..., a line when a value changes\n")) {
      return errno == EPIPE ? STATUS_OK : output_failed(err);
    }
    const Clock::time_point start = Clock::now();
    Clock::time_point next = start;
    std::vector<platform::DeviceAxis> axes, shown;
    for (bool first = true;; first = false) {
      if (!source->read(&axes, &error)) {
        failed = true;
        break;
      }
      if (first || axes != shown) {
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const std::string text =
            terminal ? format_axes_frame(source->title() + "   Ctrl-C to stop", axes,
                                         source->naming())
                     : format_axes_line(seconds, axes, source->naming());
        if (!emit(out, text)) return errno == EPIPE ? STATUS_OK : output_failed(err);
        shown = axes;
      }
      next = paced(next, AXES_PERIOD);
      if (stop.wait_until(next)) break;
    }
  }
  return failed ? report(err, error) : STATUS_OK;
}

}  // namespace

int run_command(const ProbeOptions& options, std::FILE* out, std::FILE* err) {
  switch (options.command) {
    case Command::LIST:
      return run_list(options, out, err);
    case Command::INFO:
      return run_info(options, out, err);
    case Command::WATCH:
      return run_watch(options, out, err);
    case Command::DEVICES:
      return run_devices(out, err);
    case Command::AXES:
      return run_axes(options, out, err);
    case Command::RECORD:
      return run_record(options, out, err);
    case Command::NONE:
      break;
  }
  std::fprintf(err, "capture-probe: no command given (see capture-probe --help)\n");
  return STATUS_USAGE;
}

}  // namespace probe

// A server process without a window, for end-to-end tests: claims the server's
// name at start-up as the program does (status 1 and the program's line when
// another instance holds it), then runs the real server thread until SIGTERM or
// SIGINT and exits with status 0.
//
//   server_fixture [--registry NAME] [--settings FILE] [--fake-joystick [--caps XMIN XMAX]]
//
// --settings reads the instance's settings from FILE, as the program's option
// does (status 1 and the program's line when they cannot be used).
//
// --registry makes it publish in the shared-memory object NAME instead of the
// process's registry (ORVANDELCASTER_REGISTRY, else the user's), so tests never meet a real server
// or each other.
//
// --fake-joystick puts a settable joystick 0 in place of the device (with the
// capabilities XMIN, XMAX and 10 ms when --caps is given) and takes commands
// on stdin, one per line, each answered with "ok" on stdout once applied:
//   axes X Y Z R     raw positions of the four axes
//   buttons MASK     the button bits (decimal or 0x hex)
//   absent | present
// Anything else is answered with "error: " and the line.

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/fake_joystick_device.h"
#include "platform/joystick_device.h"
#include "server/capture_server.h"
#include "server/registry.h"

namespace {

// Lives as long as the process: the server thread reads it until the very end.
platform::FakeJoystickDevice* g_fake_joystick = nullptr;

// A whole decimal or 0x-hex number that fits in 32 bits.
bool parse_u32(const char* text, std::uint32_t* value) {
  if (!text || *text == '\0' || *text == '-') return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long parsed = std::strtoull(text, &end, 0);
  if (errno != 0 || *end != '\0' || parsed > UINT32_MAX) return false;
  *value = static_cast<std::uint32_t>(parsed);
  return true;
}

// Applies one command line to the fake joystick; false when it is not one.
bool apply_command(std::string line) {
  char* words[6] = {};
  int count = 0;
  char* save = nullptr;
  for (char* word = strtok_r(line.data(), " \t\r", &save); word && count < 6;
       word = strtok_r(nullptr, " \t\r", &save)) {
    words[count++] = word;
  }
  if (count == 0) return false;
  std::uint32_t v[4];
  if (std::strcmp(words[0], "axes") == 0 && count == 5 && parse_u32(words[1], &v[0]) &&
      parse_u32(words[2], &v[1]) && parse_u32(words[3], &v[2]) && parse_u32(words[4], &v[3])) {
    g_fake_joystick->set_axes(v[0], v[1], v[2], v[3]);
  } else if (std::strcmp(words[0], "buttons") == 0 && count == 2 && parse_u32(words[1], &v[0])) {
    g_fake_joystick->set_buttons(v[0]);
  } else if (std::strcmp(words[0], "absent") == 0 && count == 1) {
    g_fake_joystick->set_present(false);
  } else if (std::strcmp(words[0], "present") == 0 && count == 1) {
    g_fake_joystick->set_present(true);
  } else {
    return false;
  }
  return true;
}

void write_line(const std::string& text) {
  std::string line = text + "\n";
  const char* next = line.data();
  std::size_t left = line.size();
  while (left > 0) {
    ssize_t written = ::write(STDOUT_FILENO, next, left);
    if (written <= 0) return;  // the test has gone; nothing to tell anyone
    next += written;
    left -= static_cast<std::size_t>(written);
  }
}

// Reads commands until stdin ends; the server keeps running after that.
// Plain read and write, not stdio: the process may exit while this thread
// waits for input.
void run_commands() {
  std::string pending;
  char chunk[256];
  for (;;) {
    ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
    pending.append(chunk, static_cast<std::size_t>(got));
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
      std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      write_line(apply_command(line) ? "ok" : "error: " + line);
    }
  }
}

int usage(const char* program) {
  std::fprintf(stderr,
               "usage: %s [--registry NAME] [--settings FILE] [--fake-joystick [--caps XMIN "
               "XMAX]]\n",
               program);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool fake_joystick = false;
  bool caps_given = false;
  const char* settings_file = nullptr;
  platform::JoystickCapabilities fake_caps = platform::FIXED_CAPABILITIES;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--registry") == 0 && i + 1 < argc) {
      set_registry_object_name(argv[++i]);
    } else if (std::strcmp(argv[i], "--settings") == 0 && i + 1 < argc) {
      settings_file = argv[++i];
    } else if (std::strcmp(argv[i], "--fake-joystick") == 0) {
      fake_joystick = true;
    } else if (std::strcmp(argv[i], "--caps") == 0 && i + 2 < argc &&
               parse_u32(argv[i + 1], &fake_caps.x_min) &&
               parse_u32(argv[i + 2], &fake_caps.x_max)) {
      caps_given = true;
      i += 2;
    } else {
      return usage(argv[0]);
    }
  }
  if (caps_given && !fake_joystick) return usage(argv[0]);
  // Only this thread takes the stop signals; the server thread inherits the mask.
  // Not app/'s watch_stop_signals: app/ is the Qt program (not built without
  // the window, as for the bench and the soak), and a fixture has no phases:
  // a stop simply ends it.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  std::string refusal;
  // Without --settings the fixture reads no settings: a test's joystick is its own.
  if (settings_file && configure_instance(settings_file, &refusal) < 0) {
    std::fprintf(stderr, "%s\n", refusal.c_str());
    return 1;
  }
  start_sockets();
  if (claim_server_instance(&refusal) < 0) {
    std::fprintf(stderr, "%s\n", refusal.c_str());
    return 1;
  }
  if (fake_joystick) {
    g_fake_joystick = new platform::FakeJoystickDevice;
    g_fake_joystick->set_capabilities(fake_caps);
    platform::set_joystick_device(g_fake_joystick);
    std::thread(run_commands).detach();
  }
  platform::JoystickCapabilities caps{};
  if (!start_capture_server(&caps)) return 1;

  int signal_number = 0;
  sigwait(&stop, &signal_number);
  return 0;
}

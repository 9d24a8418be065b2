// The real orvandelcaster.exe served to a Windows client (Wine in CI): the
// registry lookup through the named mapping, the handshake and data bytes,
// the 1 MiB bound on a request, the window's close ending the program with
// status 0, and the message boxes that answer its options and refuse a
// second start. Needs the run's display (scripts/wine-run --start).

#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "client/capture_client.h"
#include "platform/net.h"
#include "protocol/stream_io.h"
#include "res/resource.h"
#include "tests/support/expected_replies.h"
#include "tests/support/wire_bytes.h"

namespace {

using test_support::Bytes;
using test_support::frame;
using test_support::header;
using test_support::words;
using test_support::operator+;

constexpr int REPLY_TIMEOUT_MS = 5000;

// The text and the window of a message box.
struct MessageBoxSeen {
  HWND window = nullptr;
  std::string text;
};

// orvandelcaster.exe in a process of its own, with the arguments given, its
// standard output and error in a file of its own.
class ServerProgram {
 public:
  explicit ServerProgram(const std::string& arguments = "") {
    static int programs_started = 0;
    char directory[MAX_PATH];
    ::GetTempPathA(sizeof directory, directory);
    m_stderr_path = std::string(directory) + "orvandel-e2e-" +
                    std::to_string(::GetCurrentProcessId()) + "-" +
                    std::to_string(++programs_started) + ".err";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    m_stderr = ::CreateFileA(m_stderr_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (m_stderr == INVALID_HANDLE_VALUE) return;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdError = m_stderr;
    startup.hStdOutput = m_stderr;
    std::string command = "\"" + std::string(ORVANDEL_EXE_PATH) + "\" " + arguments;
    m_started = ::CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                 nullptr, &startup, &m_process);
  }
  ServerProgram(const ServerProgram&) = delete;
  ServerProgram& operator=(const ServerProgram&) = delete;
  ~ServerProgram() {
    if (m_started) {
      if (::WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(m_process.hProcess, 99);
        ::WaitForSingleObject(m_process.hProcess, 5000);
      }
      ::CloseHandle(m_process.hThread);
      ::CloseHandle(m_process.hProcess);
    }
    ::CloseHandle(m_stderr);
    ::DeleteFileA(m_stderr_path.c_str());
  }

  bool started() const { return m_started; }

  // Ends it the way a crash or the task manager would: no exit handler runs.
  void kill() {
    ::TerminateProcess(m_process.hProcess, 99);
    ::WaitForSingleObject(m_process.hProcess, 5000);
  }

  // The port the registry publishes the server under, read by a Windows
  // client of the registry; 0 when it does not appear within 30 s.
  std::uint16_t wait_for_port() {
    for (int i = 0; i < 300; ++i) {
      std::string error;
      if (auto port = client::find_server("Orvandelcaster", &error)) return *port;
      if (::WaitForSingleObject(m_process.hProcess, 100) != WAIT_TIMEOUT) return 0;
    }
    return 0;
  }

  // The program's top-level window named "Orvandelcaster", or null.
  HWND window() const {
    struct Search {
      DWORD process;
      HWND found;
    } search{m_process.dwProcessId, nullptr};
    ::EnumWindows(
        [](HWND candidate, LPARAM context) -> BOOL {
          auto* s = reinterpret_cast<Search*>(context);
          DWORD owner = 0;
          ::GetWindowThreadProcessId(candidate, &owner);
          char title[64] = {};
          ::GetWindowTextA(candidate, title, sizeof title);
          if (owner != s->process || std::string(title) != "Orvandelcaster") return TRUE;
          s->found = candidate;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
  }

  // The program's message box as the user sees it (a top-level window with
  // the box's text control), or no window when none shows within 20 s.
  MessageBoxSeen wait_for_message_box() const {
    struct Search {
      DWORD process;
      MessageBoxSeen box;
    } search{m_process.dwProcessId, {}};
    for (int i = 0; i < 200 && !search.box.window; ++i) {
      if (i > 0) ::Sleep(100);
      ::EnumWindows(
          [](HWND candidate, LPARAM context) -> BOOL {
            auto* s = reinterpret_cast<Search*>(context);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(candidate, &owner);
            // The id the system gives a message box's text.
            constexpr int BOX_TEXT_ID = 0xFFFF;
            HWND text = ::GetDlgItem(candidate, BOX_TEXT_ID);
            if (owner != s->process || !text || !::IsWindowVisible(candidate)) return TRUE;
            char buffer[4096] = {};
            ::GetWindowTextA(text, buffer, sizeof buffer);
            s->box = {candidate, buffer};
            return FALSE;
          },
          reinterpret_cast<LPARAM>(&search));
    }
    return search.box;
  }

  // The exit status, or -1 when it is still running after timeout_ms.
  int wait_for_exit(DWORD timeout_ms) {
    if (::WaitForSingleObject(m_process.hProcess, timeout_ms) != WAIT_OBJECT_0) return -1;
    DWORD status = 0;
    ::GetExitCodeProcess(m_process.hProcess, &status);
    return static_cast<int>(status);
  }

  // What it wrote to standard error so far, lines ending in LF: Windows text
  // output ends them in CR LF.
  std::string stderr_text() const {
    std::string text;
    HANDLE file =
        ::CreateFileA(m_stderr_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "(unreadable)";
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
      for (DWORD i = 0; i < got; ++i) {
        if (buffer[i] != '\r') text += buffer[i];
      }
    }
    ::CloseHandle(file);
    return text;
  }

 private:
  std::string m_stderr_path;
  HANDLE m_stderr = INVALID_HANDLE_VALUE;
  PROCESS_INFORMATION m_process{};
  bool m_started = false;
};

// A raw connection to the server, for exact bytes.
class RawConnection {
 public:
  explicit RawConnection(std::uint16_t port) : m_sock(platform::connect_loopback(port, 5000)) {}
  bool connected() const { return m_sock.valid(); }

  bool send_bytes(const Bytes& bytes) {
    return send_all(m_sock.get(), bytes.data(), static_cast<int>(bytes.size())) ==
           static_cast<int>(bytes.size());
  }

  // The next whole message (header and payload), or what came before the
  // stream ended or the time ran out.
  Bytes read_message() {
    Bytes head(8);
    if (recv_all_within(m_sock.get(), head.data(), 8, REPLY_TIMEOUT_MS) != 8) return {};
    std::uint32_t length =
        static_cast<std::uint32_t>(head[4]) << 24 | head[5] << 16 | head[6] << 8 | head[7];
    Bytes message = head;
    message.resize(8 + length);
    int got = recv_all_within(m_sock.get(), message.data() + 8, static_cast<int>(length),
                              REPLY_TIMEOUT_MS);
    message.resize(8 + static_cast<std::size_t>(got < 0 ? 0 : got));
    return message;
  }

  // True when the server closes the connection without another byte.
  bool closed_silently() {
    unsigned char byte = 0;
    return recv_all_within(m_sock.get(), &byte, 1, REPLY_TIMEOUT_MS) == 0;
  }

 private:
  platform::UniqueSocket m_sock;
};

// Whether a server answers the version request at port.
bool serves_at(std::uint16_t port) {
  RawConnection client(port);
  return client.connected() && client.send_bytes(frame(2, words({300}))) &&
         client.read_message() == test_support::version_reply();
}

// Whether the server the registry names answers within 30 s: right after a
// restart the name may still lead to a port nobody listens on.
bool registry_server_answers() {
  for (int i = 0; i < 300; ++i) {
    std::string error;
    if (auto port = client::find_server("Orvandelcaster", &error); port && serves_at(*port)) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

class ServerEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(platform::start_socket_library(), 0); }
  void TearDown() override { platform::stop_socket_library(); }
};

TEST_F(ServerEndToEnd, FoundThroughTheRegistryAndAnsweredByteForByte) {
  ServerProgram server;
  ASSERT_TRUE(server.started());
  std::uint16_t port = server.wait_for_port();
  ASSERT_NE(port, 0) << server.stderr_text();

  RawConnection client(port);
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(client.send_bytes(frame(1, Bytes(128, 0))));
  EXPECT_EQ(client.read_message(), test_support::identify_reply());
  ASSERT_TRUE(client.send_bytes(frame(2, words({300}))));
  EXPECT_EQ(client.read_message(), test_support::version_reply());
  ASSERT_TRUE(client.send_bytes(frame(3)));
  EXPECT_EQ(client.read_message(), test_support::server_info_reply());
  ASSERT_TRUE(client.send_bytes(frame(4)));
  EXPECT_EQ(client.read_message(), test_support::channel_info_reply(false));
  // No joystick here: every axis reads centred.
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(client.send_bytes(frame(5)));
    EXPECT_EQ(client.read_message(), test_support::centred_data_reply());
  }
  ASSERT_TRUE(client.send_bytes(frame(9)));
  EXPECT_TRUE(client.closed_silently());

  // Published again for the next client.
  EXPECT_NE(server.wait_for_port(), 0);
  EXPECT_EQ(server.stderr_text(), "");
}

TEST_F(ServerEndToEnd, RequestAboveOneMebibyteEndsTheSessionUnread) {
  ServerProgram server;
  ASSERT_TRUE(server.started());
  std::uint16_t port = server.wait_for_port();
  ASSERT_NE(port, 0) << server.stderr_text();

  // The largest payload allowed is read whole and answered.
  RawConnection largest(port);
  ASSERT_TRUE(largest.connected());
  ASSERT_TRUE(largest.send_bytes(frame(7, Bytes(1u << 20, 0x77)) + frame(2, words({300}))));
  EXPECT_EQ(largest.read_message(), test_support::unknown_command_reply());
  EXPECT_EQ(largest.read_message(), test_support::version_reply());
  ASSERT_TRUE(largest.send_bytes(frame(9)));
  EXPECT_TRUE(largest.closed_silently());

  // One byte more: the session ends on the header alone, the reason on stderr.
  port = server.wait_for_port();
  ASSERT_NE(port, 0);
  RawConnection client(port);
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(client.send_bytes(header(1, (1u << 20) + 1)));
  EXPECT_TRUE(client.closed_silently());
  EXPECT_NE(server.wait_for_port(), 0);
  EXPECT_EQ(server.stderr_text(), "Orvandelcaster: Message too long\n");
}

TEST_F(ServerEndToEnd, ClosingTheWindowEndsWithStatusZeroAndNothingOnStderr) {
  ServerProgram server;
  ASSERT_TRUE(server.started());
  ASSERT_NE(server.wait_for_port(), 0) << server.stderr_text();
  HWND window = server.window();
  ASSERT_NE(window, nullptr);
  // A client connected and served while the window closes.
  std::uint16_t port = server.wait_for_port();
  RawConnection client(port);
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(client.send_bytes(frame(2, words({300}))));
  EXPECT_EQ(client.read_message(), test_support::version_reply());

  ASSERT_TRUE(::PostMessageA(window, WM_CLOSE, 0, 0));
  EXPECT_EQ(server.wait_for_exit(10000), 0);
  EXPECT_TRUE(client.closed_silently());
  EXPECT_EQ(server.stderr_text(), "");
}

TEST_F(ServerEndToEnd, SecondInstanceIsRefusedWhileTheFirstKeepsServing) {
  ServerProgram first;
  ASSERT_TRUE(first.started());
  ASSERT_NE(first.wait_for_port(), 0) << first.stderr_text();

  // A second double-click meets a box, and the line goes to standard error too.
  ServerProgram second;
  ASSERT_TRUE(second.started());
  MessageBoxSeen box = second.wait_for_message_box();
  ASSERT_NE(box.window, nullptr) << second.stderr_text();
  EXPECT_EQ(box.text, "Orvandelcaster: already running");
  EXPECT_EQ(second.wait_for_exit(500), -1) << "ended before the box was dismissed";
  ASSERT_TRUE(::PostMessageA(box.window, WM_COMMAND, IDOK, 0));
  EXPECT_EQ(second.wait_for_exit(20000), 1);
  EXPECT_EQ(second.stderr_text(), "Orvandelcaster: already running\n");
  // The refused one took nothing with it: the name still leads to the first.
  EXPECT_TRUE(registry_server_answers());
  EXPECT_EQ(first.wait_for_exit(0), -1);
  EXPECT_EQ(first.stderr_text(), "");
}

// The user's settings file is %APPDATA%\Orvandelcaster\settings.conf: a
// private APPDATA's file chooses a joystick number that cannot be (the
// window says none is found) and has a line that is no axis; both are said
// on stderr, naming the file.
TEST_F(ServerEndToEnd, SettingsUnderAppDataAreReadAndTheirFaultsSaid) {
  char temp[MAX_PATH];
  ::GetTempPathA(sizeof temp, temp);
  const std::string appdata =
      std::string(temp) + "orvandel-appdata-" + std::to_string(::GetCurrentProcessId());
  const std::string folder = appdata + "\\Orvandelcaster";
  const std::string file = folder + "\\settings.conf";
  ASSERT_TRUE(::CreateDirectoryA(appdata.c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
  {
    std::ofstream settings(file, std::ios::binary);
    settings << "# the pedals\njoystick = 17\nx = W\n";
  }
  char old_appdata[MAX_PATH] = {};
  const bool had_appdata =
      ::GetEnvironmentVariableA("APPDATA", old_appdata, sizeof old_appdata) > 0;
  ASSERT_TRUE(::SetEnvironmentVariableA("APPDATA", appdata.c_str()));
  ServerProgram server;
  ::SetEnvironmentVariableA("APPDATA", had_appdata ? old_appdata : nullptr);
  ASSERT_TRUE(server.started());
  ASSERT_NE(server.wait_for_port(), 0) << server.stderr_text();

  HWND window = server.window();
  ASSERT_NE(window, nullptr);
  char title[128] = {};
  for (int i = 0; i < 100 && std::string(title) != "Joystick not found"; ++i) {
    ::Sleep(100);
    ::GetDlgItemTextA(window, IDC_JOYSTICK_GROUP, title, sizeof title);
  }
  EXPECT_STREQ(title, "Joystick not found");
  const std::string bad_axis = "Orvandelcaster: " + file + ":3: ";
  for (int i = 0; i < 100 && server.stderr_text().find(bad_axis) == std::string::npos; ++i)
    ::Sleep(100);
  const std::string said = server.stderr_text();
  EXPECT_NE(said.find(bad_axis), std::string::npos) << said;
  EXPECT_NE(said.find("Orvandelcaster: the joystick setting in " + file +
                      " is \"17\", not a joystick number from 1 to 16: no joystick is read\n"),
            std::string::npos)
      << said;

  ASSERT_TRUE(::PostMessageA(window, WM_CLOSE, 0, 0));
  EXPECT_EQ(server.wait_for_exit(10000), 0);
  ::DeleteFileA(file.c_str());
  ::RemoveDirectoryA(folder.c_str());
  ::RemoveDirectoryA(appdata.c_str());
}

// A program without a console answers its options in a box, and on its
// standard output (error, for bad usage) when it has one, as on Linux.
TEST_F(ServerEndToEnd, OptionsAreAnsweredInAMessageBox) {
  struct Case {
    const char* arguments;
    const char* text_start;
    const char* text_part;
    int status;
  } cases[] = {
      {"--version", "orvandelcaster (Orvandelcaster) " ORVANDEL_SHOWN_VERSION "\n",
       "Copyright (C) Orvandelcaster team\n", 0},
      {"--help", "Usage: orvandelcaster [--settings FILE] [--help | --version]\n",
       "      --version        output version information and exit\n", 0},
      {"--bogus", "orvandelcaster: unrecognized option '--bogus'\n",
       "Try 'orvandelcaster --help' for more information.\n", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    ServerProgram program(c.arguments);
    ASSERT_TRUE(program.started());
    MessageBoxSeen box = program.wait_for_message_box();
    ASSERT_NE(box.window, nullptr) << program.stderr_text();
    ASSERT_TRUE(::PostMessageA(box.window, WM_COMMAND, IDOK, 0));
    EXPECT_EQ(program.wait_for_exit(20000), c.status);
    const std::string printed = program.stderr_text();
    EXPECT_TRUE(printed.starts_with(c.text_start)) << printed;
    EXPECT_NE(printed.find(c.text_part), std::string::npos) << printed;
    // The box says what was printed, its last line break aside.
    EXPECT_EQ(box.text + "\n", printed);
  }
}

TEST_F(ServerEndToEnd, KilledInstanceDoesNotBlockARestart) {
  {
    ServerProgram first;
    ASSERT_TRUE(first.started());
    ASSERT_NE(first.wait_for_port(), 0) << first.stderr_text();
    first.kill();
    ASSERT_EQ(first.wait_for_exit(0), 99);
  }
  // Its name is still in the registry, its port dead, its lock released by the system.
  ServerProgram restarted;
  ASSERT_TRUE(restarted.started());
  EXPECT_TRUE(registry_server_answers()) << restarted.stderr_text();
  EXPECT_EQ(restarted.wait_for_exit(0), -1);
  EXPECT_EQ(restarted.stderr_text(), "");
}

}  // namespace

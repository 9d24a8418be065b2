#include "app/service_journal.h"

#include <cstdio>
#include <mutex>
#include <string>

#include "platform/outside_text.h"
#include "server/capture_server.h"

namespace {

// The server thread's notice reaches the main thread through here.
std::mutex g_journal_mutex;
ServiceJournal* g_journal = nullptr;  // the one taking the notice, or null

// On the server thread, once, after its first publication.
void notice_first_publication(const char* server_name, const char* registry_object) {
  std::lock_guard<std::mutex> lock(g_journal_mutex);
  if (g_journal) g_journal->post_serving(server_name, registry_object);
}

void say(const std::string& line) {
  std::fprintf(stdout, "%s: %s\n", instance_name(), line.c_str());
  std::fflush(stdout);
}

}  // namespace

std::string joystick_state_line(const JoystickStateText& state) {
  std::string line = platform::printable_outside_text(state.title);
  if (!state.detail.empty()) line += " \u2014 " + platform::printable_outside_text(state.detail);
  return line;
}

ServiceJournal::ServiceJournal()
    : m_joystick(platform::joystick_device().open_reader()),
      m_folders(platform::joystick_device().watched_folders()) {
  std::lock_guard<std::mutex> lock(g_journal_mutex);
  g_journal = this;
  set_first_publication_handler(&notice_first_publication);
}

ServiceJournal::~ServiceJournal() {
  std::lock_guard<std::mutex> lock(g_journal_mutex);
  g_journal = nullptr;
}

void ServiceJournal::post_serving(const char* server_name, const char* registry_object) {
  // Both names live as long as the process; the line is made on the main thread.
  QMetaObject::invokeMethod(
      &m_context, [this, server_name, registry_object] { say_serving(server_name, registry_object); },
      Qt::QueuedConnection);
}

void ServiceJournal::stopped() {
  {
    std::lock_guard<std::mutex> lock(g_journal_mutex);
    g_journal = nullptr;
  }
  m_folder_changes.reset();
  // A notice posted already finds nothing to say.
  m_serving_said = true;
  say("stopped");
}

JoystickStateText ServiceJournal::read_state() {
  platform::JoystickState ignored{};
  m_joystick->read(&ignored);
  return describe_joystick(m_joystick->status());
}

void ServiceJournal::say_serving(const char* server_name, const char* registry_object) {
  if (m_serving_said) return;
  m_serving_said = true;
  m_said_state = read_state();
  say(std::string("serving \"") + server_name + "\" in " +
      platform::printable_outside_text(registry_object) +
      "; joystick 0: " + joystick_state_line(m_said_state));
  if (m_folders.descriptor() >= 0) {
    m_folder_changes =
        std::make_unique<QSocketNotifier>(m_folders.descriptor(), QSocketNotifier::Read);
    QObject::connect(m_folder_changes.get(), &QSocketNotifier::activated, &m_context,
                     [this] { check_joystick(); });
  }
}

void ServiceJournal::check_joystick() {
  if (!m_folders.drain()) return;
  // A device came, went or changed its permissions, or the settings changed:
  // joystick 0 is found anew rather than at the reader's next retry.
  m_joystick->look_again();
  JoystickStateText state = read_state();
  if (state == m_said_state) return;
  m_said_state = std::move(state);
  say("joystick 0: " + joystick_state_line(m_said_state));
}

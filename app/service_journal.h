#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

#include "monitor/joystick_state_text.h"
#include "platform/folder_watch.h"
#include "platform/joystick_device.h"

// What the program does, on standard output, one line each, flushed at once
// (the systemd journal reads a pipe), and only from the main thread:
//   Orvandelcaster: serving "NAME" in REGISTRY; joystick 0: STATE
//     once, at the server's first publication (not at each re-publication
//     after a session);
//   Orvandelcaster: joystick 0: STATE
//     at each change of joystick 0's state from then on, noticed on the main
//     thread's event loop when the device folder or the settings change,
//     window or not (nothing wakes the program while nothing changes);
//   Orvandelcaster: stopped
//     at a normal end.
// STATE is what the window shows: the caption, then " — " and the line below
// it when there is one.
class ServiceJournal {
 public:
  // Takes the server's first publication from now on; lives on the main thread.
  ServiceJournal();
  ~ServiceJournal();
  ServiceJournal(const ServiceJournal&) = delete;
  ServiceJournal& operator=(const ServiceJournal&) = delete;

  // Says the program stopped; nothing is said after.
  void stopped();

  // From the server thread, with the journal's lock held: has the main thread
  // say the serving line.
  void post_serving(const char* server_name, const char* registry_object);

 private:
  void say_serving(const char* server_name, const char* registry_object);
  void check_joystick();
  JoystickStateText read_state();

  QObject m_context;  // the main thread's, where the server's notice is delivered
  std::unique_ptr<platform::JoystickReader> m_joystick;
  platform::FolderWatch m_folders;
  std::unique_ptr<QSocketNotifier> m_folder_changes;  // from the first publication on
  JoystickStateText m_said_state;
  bool m_serving_said = false;
};

// Joystick 0's state in one line: outside texts escaped.
std::string joystick_state_line(const JoystickStateText& state);

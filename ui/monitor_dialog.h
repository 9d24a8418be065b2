#pragma once

#include <QDialog>
#include <QIcon>
#include <cstdint>
#include <memory>

#include "monitor/joystick_state_text.h"
#include "monitor/monitor_model.h"
#include "platform/folder_watch.h"
#include "platform/joystick_device.h"

class QMenu;
class QSocketNotifier;
class QTimer;

// The program's main window: starts the server thread, fixes the axis scale
// and shows joystick 0 live, four axis bars and eight button boxes. It reads
// joystick 0 only when something changed -- the joystick's own events, a
// device node appearing, leaving or changing its permissions, the settings
// file -- and at most once per display period (the timer IDT_JOYSTICK_POLL),
// so a resting or absent joystick costs nothing and a moving one is shown as
// often as a timer would. Esc and the close box end it; the OK
// command (Enter) does nothing. The About box opens from its "About..."
// button and from the About item of its system menu, which on Linux is the
// dialog's context menu; the calibration dialog from the Calibrate item
// beside it.
class CMonitorDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CMonitorDlg(QWidget* parent = nullptr);
  ~CMonitorDlg() override;

  // Runs OnInitDialog, then the dialog modally until it ends; returns how it
  // ended (QDialog::Rejected after Esc or the close box).
  int DoModal();

  // Readies the dialog: adds the Calibrate and About items to the system menu, sets the
  // window icons, fixes the axis scale from joystick 0's capabilities, starts
  // the server thread (once per process, after the scale is fixed) and
  // starts watching joystick 0 (watch_joystick). Always true.
  bool OnInitDialog();

  // Shows joystick 0 now, then whenever it changes: waits for its events and
  // for changes of its folders, with the display timer IDT_JOYSTICK_POLL at
  // twice joystick 0's minimum polling period as the shortest time between
  // two ticks.
  void watch_joystick();

  // A timer tick: for IDT_JOYSTICK_POLL, reads joystick 0, shows the new
  // values and says what joystick 0 is; any other timer draws nothing.
  void OnTimer(unsigned nIDEvent);

  // A system command: IDM_ABOUTBOX (with any low four bits) opens the About
  // box, IDM_CALIBRATE the calibration dialog; the window manager does
  // everything else on Linux.
  void OnSysCommand(unsigned nID, std::intptr_t lParam);

  void OnAboutButton();
  // Opens the calibration dialog on the window's own reader: the bars show
  // the mapping being edited until it closes.
  void OnCalibrate();

  // The OK command. Does nothing, so the dialog never ends by it.
  void OnOK();
  void accept() override;

  // The system menu, created empty on first use; shown as the context menu.
  QMenu* GetSystemMenu();

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  QIcon m_hIcon;
  // Joystick 0's as OnInitDialog finds them; Linux's until then.
  platform::JoystickCapabilities m_joyCaps = platform::FIXED_CAPABILITIES;
  // What a tick shows, with the dialog's own handle on joystick 0.
  MonitorModel m_model;
  QMenu* m_systemMenu = nullptr;
  // Joystick 0 in words as shown: the frame's caption and the line below it.
  JoystickStateText m_shownState;

  void show_joystick_state(const JoystickStateText& state);

  // Waking on changes (watch_joystick).
  void on_joystick_events();
  void on_folders_changed();
  void on_display_period_end();
  void show_change();
  void tick_now();
  void follow_event_descriptor();

  QTimer* m_displayTimer = nullptr;  // runs only for one display period after a tick
  bool m_changePending = false;      // a change came during the display period
  QSocketNotifier* m_joystickEvents = nullptr;
  std::unique_ptr<platform::FolderWatch> m_folderWatch;
};

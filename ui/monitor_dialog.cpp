#include "ui/monitor_dialog.h"

#include <QAbstractButton>
#include <QAction>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QSocketNotifier>
#include <QTimer>
#include <utility>

#include "res/resource.h"
#include "res/strings.h"
#include "server/capture_server.h"
#include "ui/about_dialog.h"
#include "ui/calibration_dialog.h"
#include "ui/dialog_builder.h"
#include "ui/dialog_indicators.h"
#include "ui/hint_line.h"

CMonitorDlg::CMonitorDlg(QWidget* parent) : QDialog(parent), m_hIcon(load_icon(IDR_MAINFRAME)) {
  create_dialog_controls(this, IDD_MONITOR_DIALOG);
  // The program's main window: a normal top-level window, with the title bar
  // and boxes its template asks for. As a dialog with no parent, Qt would mark
  // it as belonging to a hidden window of its own (WM_TRANSIENT_FOR), which
  // some window managers show without a title bar and task bars leave out.
  setWindowFlags((windowFlags() & ~Qt::WindowType_Mask) | Qt::Window);
  if (auto* about = qobject_cast<QAbstractButton*>(dialog_item(this, IDC_ABOUT))) {
    connect(about, &QAbstractButton::clicked, this, &CMonitorDlg::OnAboutButton);
  }
}

CMonitorDlg::~CMonitorDlg() = default;

int CMonitorDlg::DoModal() {
  OnInitDialog();
  return exec();
}

bool CMonitorDlg::OnInitDialog() {
  QMenu* system_menu = GetSystemMenu();
  QString about_text = QString::fromUtf8(load_string(IDS_ABOUTBOX));
  if (!about_text.isEmpty()) {
    system_menu->addSeparator();
    QAction* calibrate = system_menu->addAction(QString::fromUtf8(load_string(IDS_CALIBRATE)));
    connect(calibrate, &QAction::triggered, this, [this] { OnSysCommand(IDM_CALIBRATE, 0); });
    QAction* about = system_menu->addAction(about_text);
    connect(about, &QAction::triggered, this, [this] { OnSysCommand(IDM_ABOUTBOX, 0); });
  }

  setWindowIcon(m_hIcon);
  // Two instances side by side are told apart by their names.
  setWindowTitle(QString::fromLatin1(instance_name()));

  // Fixes the axis scale, then starts the server thread; without one the
  // dialog runs on, as it would on any platform.
  start_capture_server(&m_joyCaps);
  watch_joystick();
  return true;
}

void CMonitorDlg::watch_joystick() {
  m_displayTimer = new QTimer(this);
  m_displayTimer->setObjectName(QStringLiteral("IDT_JOYSTICK_POLL"));
  m_displayTimer->setSingleShot(true);
  m_displayTimer->setInterval(static_cast<int>(MonitorModel::poll_period_ms(m_joyCaps)));
  connect(m_displayTimer, &QTimer::timeout, this, &CMonitorDlg::on_display_period_end);

  // Watched before the first reading, so that no change falls between the two.
  m_folderWatch = std::make_unique<platform::FolderWatch>(m_model.watched_folders());
  if (m_folderWatch->descriptor() >= 0) {
    auto* folders = new QSocketNotifier(m_folderWatch->descriptor(), QSocketNotifier::Read, this);
    connect(folders, &QSocketNotifier::activated, this, &CMonitorDlg::on_folders_changed);
  }
  tick_now();
}

void CMonitorDlg::on_joystick_events() {
  // Until the display period ends, further events wait in the queue rather
  // than wake the window one by one.
  m_joystickEvents->setEnabled(false);
  m_model.drain_events();
  show_change();
}

void CMonitorDlg::on_folders_changed() {
  if (!m_folderWatch->drain()) return;
  m_model.look_again();
  show_change();
}

void CMonitorDlg::show_change() {
  if (m_displayTimer->isActive()) {
    m_changePending = true;
  } else {
    tick_now();
  }
}

void CMonitorDlg::on_display_period_end() {
  const bool events = m_model.drain_events();
  if (std::exchange(m_changePending, false) || events) {
    tick_now();
  } else if (m_joystickEvents) {
    m_joystickEvents->setEnabled(true);
  }
}

void CMonitorDlg::tick_now() {
  OnTimer(IDT_JOYSTICK_POLL);
  m_displayTimer->start();
  follow_event_descriptor();
  if (m_joystickEvents) m_joystickEvents->setEnabled(false);
}

void CMonitorDlg::follow_event_descriptor() {
  const int descriptor = m_model.event_descriptor();
  if (m_joystickEvents && m_joystickEvents->socket() == descriptor) return;
  if (m_joystickEvents) {
    // It may be the sender of the signal being handled.
    m_joystickEvents->setEnabled(false);
    m_joystickEvents->deleteLater();
    m_joystickEvents = nullptr;
  }
  if (descriptor < 0) return;
  m_joystickEvents = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
  connect(m_joystickEvents, &QSocketNotifier::activated, this, &CMonitorDlg::on_joystick_events);
}

void CMonitorDlg::OnTimer(unsigned nIDEvent) {
  if (nIDEvent != IDT_JOYSTICK_POLL) return;
  const MonitorView view = m_model.tick();
  for (const AxisBarValue& bar : view.bars) {
    // The control keeps the range it divides by; the painting comes later.
    set_axis_bar_range(this, bar.control_id, bar.range);
    draw_axis_bar(this, bar.control_id, bar.raw);
  }
  for (const ButtonBoxValue& box : view.buttons) draw_button_box(this, box.control_id, box.pressed);
  show_joystick_state(view.state);
}

void CMonitorDlg::show_joystick_state(const JoystickStateText& state) {
  if (state == m_shownState) return;
  m_shownState = state;
  if (auto* frame = qobject_cast<QGroupBox*>(dialog_item(this, IDC_JOYSTICK_GROUP))) {
    const QString title = QString::fromStdString(state.title);
    // A long device name is cut with an ellipsis; the whole of it is in the tooltip.
    const int room = frame->width() - 4 * frame->fontMetrics().averageCharWidth();
    QString shown = frame->fontMetrics().elidedText(title, Qt::ElideRight, room);
    // A frame's caption would take '&' as the mark of a keyboard shortcut.
    frame->setTitle(shown.replace(QLatin1Char('&'), QStringLiteral("&&")));
    frame->setToolTip(shown == title ? QString() : title);
  }
  if (auto* line = qobject_cast<QLabel*>(dialog_item(this, IDC_JOYSTICK_STATE))) {
    show_hint(line, QString::fromStdString(state.detail));
  }
}

void CMonitorDlg::OnSysCommand(unsigned nID, std::intptr_t) {
  if (MonitorModel::is_about_command(nID)) OnAboutButton();
  if (MonitorModel::is_calibrate_command(nID)) OnCalibrate();
}

void CMonitorDlg::OnAboutButton() {
  CAboutDlg about;
  about.DoModal();
}

void CMonitorDlg::OnCalibrate() {
  CCalibrateDlg calibrate(
      m_model.joystick(), [this] { show_change(); }, this);
  calibrate.DoModal();
}

void CMonitorDlg::OnOK() {}

void CMonitorDlg::accept() { OnOK(); }

QMenu* CMonitorDlg::GetSystemMenu() {
  if (!m_systemMenu) m_systemMenu = new QMenu(this);
  return m_systemMenu;
}

void CMonitorDlg::contextMenuEvent(QContextMenuEvent* event) {
  if (m_systemMenu && !m_systemMenu->isEmpty()) m_systemMenu->popup(event->globalPos());
}

#include "ui/monitor_dialog.h"

#include <QAbstractButton>
#include <QAction>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QTimer>

#include "res/resource.h"
#include "res/strings.h"
#include "server/capture_server.h"
#include "ui/about_dialog.h"
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
    QAction* about = system_menu->addAction(about_text);
    connect(about, &QAction::triggered, this, [this] { OnSysCommand(IDM_ABOUTBOX, 0); });
  }

  setWindowIcon(m_hIcon);

  // Fixes the axis scale, then starts the server thread; without one the
  // dialog runs on, as it would on any platform.
  start_capture_server(&m_joyCaps);

  auto* poll_timer = new QTimer(this);
  poll_timer->setObjectName(QStringLiteral("IDT_JOYSTICK_POLL"));
  poll_timer->setInterval(static_cast<int>(MonitorModel::poll_period_ms(m_joyCaps)));
  connect(poll_timer, &QTimer::timeout, this, [this] { OnTimer(IDT_JOYSTICK_POLL); });
  poll_timer->start();
  return true;
}

void CMonitorDlg::OnTimer(unsigned nIDEvent) {
  if (nIDEvent != IDT_JOYSTICK_POLL) return;
  const MonitorView view = m_model.tick();
  for (const AxisBarValue& bar : view.bars) {
    // The control keeps the range it divides by; the painting comes later.
    set_axis_bar_range(this, bar.control_id, view.axis_range);
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
}

void CMonitorDlg::OnAboutButton() {
  CAboutDlg about;
  about.DoModal();
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

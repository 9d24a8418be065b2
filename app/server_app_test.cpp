#include "app/server_app.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/app_shell.h"
#include "joystick/joystick_channels.h"
#include "server/process.h"
#include "tests/support/qt/qt_test_support.h"
#include "ui/monitor_dialog.h"

namespace {

// Records what the application asks of the framework; socket support fails
// when told to.
class RecordingShell : public AppShell {
 public:
  explicit RecordingShell(bool sockets_ready) : m_sockets_ready(sockets_ready) {
    set_app_shell(this);
  }
  ~RecordingShell() override { set_app_shell(nullptr); }

  bool init_socket_support() override { return m_sockets_ready; }
  void message_box(const char* text) override { messages.emplace_back(text); }
  int run_modal(CMonitorDlg& dialog) override {
    dialog_titles.push_back(dialog.windowTitle().toStdString());
    return QDialog::Rejected;
  }
  void application_destroyed() override {
    std::fprintf(stderr, "application object destroyed; sockets ready: %d\n",
                 g_sockets_ready.load());
  }

  std::vector<std::string> messages;
  std::vector<std::string> dialog_titles;

 private:
  bool m_sockets_ready;
};

TEST(ServerApp, SocketFailureShowsOnlyTheMessage) {
  CServerApp app;  // goes after the shell, so its destructor reports to nobody
  RecordingShell shell(/*sockets_ready=*/false);
  int reads = test_joystick().reads();
  float range = g_axis_range;
  EXPECT_FALSE(app.InitInstance());
  EXPECT_EQ(shell.messages, std::vector<std::string>{"Windows sockets initialization failed."});
  EXPECT_TRUE(shell.dialog_titles.empty());
  // No dialog ran: nothing fixed the scale, read the joystick or started a timer.
  EXPECT_EQ(g_axis_range, range);
  EXPECT_EQ(test_joystick().reads(), reads);
  EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
}

TEST(ServerApp, RunsTheMonitorDialogModallyAndReturnsFalse) {
  CServerApp app;
  RecordingShell shell(/*sockets_ready=*/true);
  EXPECT_FALSE(app.InitInstance());
  EXPECT_EQ(shell.dialog_titles, std::vector<std::string>{"Orvandelcaster"});
  EXPECT_TRUE(shell.messages.empty());
}

TEST(ServerApp, ExitCleansUpSocketsBeforeTheApplicationObjectGoes) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The process's own application object is destroyed by the exit, after
  // stop_sockets: the shell sees the sockets no longer ready.
  EXPECT_EXIT(
      {
        new RecordingShell(true);  // stays installed through the exit
        if (g_sockets_ready.load() != 1) std::_Exit(3);
        std::exit(0);
      },
      testing::ExitedWithCode(0), "application object destroyed; sockets ready: 0");
}

TEST(QtShell, MessageBoxShowsTheTextWithOnlyAnOkButton) {
  QString title;
  QString text;
  int buttons = -1;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    title = box->windowTitle();
    text = box->text();
    buttons = static_cast<int>(box->buttons().size());
    box->button(QMessageBox::Ok)->click();
  });
  QTimer::singleShot(5000, [] {
    if (QWidget* stuck = QApplication::activeModalWidget()) stuck->close();
  });
  app_shell().message_box("Windows sockets initialization failed.");
  EXPECT_EQ(title, QCoreApplication::applicationName());
  EXPECT_EQ(text, QStringLiteral("Windows sockets initialization failed."));
  EXPECT_EQ(buttons, 1);
}

}  // namespace

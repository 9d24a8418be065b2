#include "app/app_shell.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <atomic>

#include "ui/monitor_dialog.h"

namespace {

class QtAppShell final : public AppShell {
 public:
  // Sockets need no framework support on Linux; start_sockets readied them.
  bool init_socket_support() override { return true; }

  void message_box(const char* text) override {
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(),
                    QString::fromUtf8(text), QMessageBox::Ok);
    box.exec();
  }

  int run_modal(CMonitorDlg& dialog) override { return dialog.DoModal(); }

  void application_destroyed() override {}
};

std::atomic<AppShell*> g_replacement_shell{nullptr};

}  // namespace

AppShell& app_shell() {
  // Never freed: the application object's destructor uses it during the exit.
  static AppShell* const qt_shell = new QtAppShell;
  AppShell* replacement = g_replacement_shell.load();
  return replacement ? *replacement : *qt_shell;
}

void set_app_shell(AppShell* replacement) { g_replacement_shell.store(replacement); }

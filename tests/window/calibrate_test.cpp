// The calibration dialog as a user drives it, on a real X server (Xvfb,
// started by run_with_xvfb.sh): opened from the window's Calibrate item over
// a device with raw axes (the fake joystick 0), an axis chosen, turned and
// calibrated, saved; the settings file then holds it beside its own lines,
// and a real capture client gets the positions the exact rule gives. With
// CALIBRATE_SCREENSHOT set, the dialog as the screen shows it is saved there.

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "platform/fake_joystick_device.h"
#include "res/resource.h"
#include "server/capture_server.h"
#include "server/registry.h"
#include "tests/window/capture_check.h"
#include "ui/calibration_dialog.h"
#include "ui/dialog_builder.h"
#include "ui/monitor_dialog.h"

namespace {

using platform::DeviceAxis;

platform::FakeJoystickDevice& fake_joystick() {
  static auto* joystick = new platform::FakeJoystickDevice;
  return *joystick;
}

std::filesystem::path g_settings;  // the settings file the program reads

// A flight stick's axes and a gamepad's right stick, each at the given value.
struct Positions {
  std::int32_t x, y, rx, throttle, rudder;
};
void set_positions(Positions p) {
  fake_joystick().set_device_axes({{ABS_X, 0, 1023, 0, 0, p.x},
                                   {ABS_Y, 0, 1023, 0, 0, p.y},
                                   {ABS_RX, -32768, 32767, 0, 0, p.rx},
                                   {ABS_THROTTLE, 0, 255, 0, 0, p.throttle},
                                   {ABS_RUDDER, 0, 255, 0, 0, p.rudder}});
  fake_joystick().post_event();
}
constexpr Positions AT_REST{511, 520, 1000, 130, 127};

std::string file_text(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The window, its server started once for the whole run.
CMonitorDlg& monitor() {
  static CMonitorDlg* window = [] {
    auto* dialog = new CMonitorDlg;
    dialog->OnInitDialog();
    dialog->show();
    return dialog;
  }();
  return *window;
}

// The blue of the X bar: how much of it the window fills.
int x_bar_fill() {
  QApplication::processEvents();
  const QImage image = dialog_item(&monitor(), IDC_BAR_X)->grab().toImage();
  int blue = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) blue += image.pixel(x, y) == qRgb(0, 0, 255);
  }
  return blue;
}

// Opens the dialog from the window's Calibrate item and runs drive on it
// once it is shown; returns when the dialog has ended.
void with_calibration_dialog(const std::function<void(CCalibrateDlg&)>& drive) {
  QAction* item = nullptr;
  for (QAction* action : monitor().GetSystemMenu()->actions()) {
    if (action->text() == QStringLiteral("&Calibrate...")) item = action;
  }
  ASSERT_NE(item, nullptr) << "no Calibrate item";
  bool driven = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<CCalibrateDlg*>(QApplication::activeModalWidget());
    if (dialog && QTest::qWaitForWindowExposed(dialog, 5000)) {
      drive(*dialog);
      driven = true;
    }
    // Whatever drive left open ends here, so the test never hangs.
    if (dialog && dialog->isVisible()) dialog->reject();
  });
  item->trigger();
  EXPECT_TRUE(driven) << "the dialog was not shown";
}

template <typename Widget>
Widget* part(const QWidget& dialog, const char* name) {
  auto* widget = dialog.findChild<Widget*>(QString::fromUtf8(name));
  EXPECT_NE(widget, nullptr) << name;
  return widget;
}

QString message(const QWidget& dialog) { return part<QLabel>(dialog, "message")->text(); }

// The four values the server serves once they are `expected` (the file is
// re-read within a second); the last ones seen when they never are.
std::vector<float> served_when(client::Connection& connection, const std::vector<float>& expected) {
  std::vector<float> values;
  for (int attempt = 0; attempt < 60; ++attempt) {
    client::DataBlock block;
    if (!connection.data(&block)) return {};
    values.clear();
    for (const auto& channel : block.channels) values.push_back(channel.values.at(0));
    if (values == expected) break;
    QTest::qWait(50);
  }
  return values;
}

// A served position as the channel carries it.
float channel_value(std::uint32_t position) {
  return static_cast<float>((position - 32767.5) / 65535.0);
}

TEST(CalibrateDialog, CalibratedMappingIsSavedAndServed) {
  std::ofstream(g_settings) << "# my own settings\ncolour = blue\nx.deadzone = 3\n";
  set_positions(AT_REST);
  monitor();  // starts the server
  std::string error;
  client::Connection client;
  ASSERT_TRUE(connect_when_published("Orvandelcaster", 10000, &client, &error) &&
              run_capture_requests(client, &error))
      << error;

  with_calibration_dialog([](CCalibrateDlg& dialog) {
    EXPECT_EQ(part<QSpinBox>(dialog, "deadzone_x")->value(), 3) << "the file's setting not shown";
    // The bars follow the mapping as edited: X, half full from ABS_X, fills
    // from the right stick pushed fully right, and empties when turned.
    const int half = x_bar_fill();
    auto* axis = part<QComboBox>(dialog, "axis_x");
    axis->setCurrentIndex(axis->findText(QStringLiteral("ABS_RX")));
    set_positions({511, 520, 32767, 130, 127});
    QTest::qWait(100);
    EXPECT_GT(x_bar_fill(), half) << "X does not show ABS_RX";
    part<QCheckBox>(dialog, "invert_x")->click();
    QTest::qWait(100);
    EXPECT_LT(x_bar_fill(), half) << "X not shown inverted";
    part<QSpinBox>(dialog, "deadzone_x")->setValue(10);

    set_positions(AT_REST);
    QTest::qWait(100);
    QTest::mouseClick(part<QPushButton>(dialog, "calibrate"), Qt::LeftButton);
    QTest::qWait(100);
    QTest::mouseClick(part<QPushButton>(dialog, "done"), Qt::LeftButton);
    EXPECT_TRUE(message(dialog).startsWith(QStringLiteral("X (ABS_RX) was not moved")))
        << message(dialog).toStdString();
    for (Positions limits :
         {Positions{10, 20, -30000, 5, 0}, Positions{1000, 1010, 31000, 250, 255}}) {
      set_positions(limits);
      QTest::qWait(100);
    }
    set_positions(AT_REST);
    QTest::qWait(100);
    QTest::mouseClick(part<QPushButton>(dialog, "done"), Qt::LeftButton);
    EXPECT_EQ(part<QLabel>(dialog, "calibration_x")->text(),
              QStringLiteral("-30000 / 1000 / 31000"))
        << message(dialog).toStdString();
    if (const char* picture = std::getenv("CALIBRATE_SCREENSHOT")) {
      QApplication::processEvents();
      dialog.screen()->grabWindow(dialog.winId()).save(QString::fromLocal8Bit(picture));
    }
    QTest::mouseClick(part<QPushButton>(dialog, "save"), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible()) << "not saved: " << message(dialog).toStdString();
  });

  EXPECT_EQ(file_text(g_settings),
            "# my own settings\ncolour = blue\nx.deadzone = 10\nx = -ABS_RX\n"
            "x.calibration = -30000 1000 31000\ny.calibration = 20 520 1010\n"
            "rudder.calibration = 0 127 255\nthrust.calibration = 5 130 250\n");

  // Calibration -30000 1000 31000 with a 10 % dead zone: its edges are
  // 1000 - 3100 and 1000 + 3000. Y, calibrated, reads centred where it rests.
  struct Row {
    std::int32_t rx;
    std::uint32_t x;  // the position served for X: inverted
  } rows[] = {
      {1000, 32767},            // at rest
      {-2000, 32767},           // inside the dead zone, below
      {31000, 0},               // at MAX
      {17500, 65535 - 49151},   // 32767 + 13500 * 32768 / 27000
      {-16050, 65535 - 16384},  // 13950 * 32767 / 27900 = 16383.5, a half: up
  };
  for (const Row& row : rows) {
    set_positions({511, 520, row.rx, 130, 127});
    const std::vector<float> expected{channel_value(row.x), channel_value(32767),
                                      channel_value(32767), channel_value(32767)};
    EXPECT_EQ(served_when(client, expected), expected) << "ABS_RX at " << row.rx;
  }
}

// A file that cannot be written is said in the dialog, which stays open;
// Cancel then leaves everything as it was and the bars show the file's mapping.
TEST(CalibrateDialog, AFailedSaveIsShownAndCancelChangesNothing) {
  std::filesystem::remove(g_settings);
  ASSERT_EQ(::mkfifo(g_settings.c_str(), 0600), 0);
  set_positions({100, 520, 0, 130, 127});  // X low: turned, it would read high
  QTest::qWait(100);
  const int fill = x_bar_fill();
  with_calibration_dialog([&](CCalibrateDlg& dialog) {
    part<QCheckBox>(dialog, "invert_x")->click();
    QTest::mouseClick(part<QPushButton>(dialog, "save"), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(message(dialog), QStringLiteral("Not saved: cannot save the settings file ") +
                                   QString::fromStdString(g_settings.string()) +
                                   QStringLiteral(": it is a FIFO, not a regular file"));
    QTest::mouseClick(part<QPushButton>(dialog, "cancel"), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
  });
  EXPECT_TRUE(std::filesystem::is_fifo(g_settings));
  QTest::qWait(100);
  EXPECT_EQ(x_bar_fill(), fill) << "the preview outlived the dialog";
  std::filesystem::remove(g_settings);
}

}  // namespace

int main(int argc, char** argv) {
  // A settings folder, a registry and a joystick 0 of this run's own.
  char folder[] = "/tmp/orvandel-calibrate.XXXXXX";
  if (!::mkdtemp(folder)) return 2;
  ::setenv("XDG_CONFIG_HOME", folder, 1);
  g_settings = std::filesystem::path(folder) / "orvandelcaster/settings.conf";
  std::filesystem::create_directories(g_settings.parent_path());
  const std::string registry = "/orvandel_calibrate_test." + std::to_string(::getpid());
  set_registry_object_name(registry.c_str());
  platform::set_joystick_device(&fake_joystick());
  set_positions(AT_REST);
  start_sockets();
  testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  const int status = RUN_ALL_TESTS();
  ::shm_unlink(registry.c_str());
  std::filesystem::remove_all(folder);
  // The server thread runs until the process ends.
  std::_Exit(status);
}

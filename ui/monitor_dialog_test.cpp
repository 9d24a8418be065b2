#include "ui/monitor_dialog.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QFontMetrics>
#include <QHash>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "joystick/joystick_channels.h"
#include "res/resource.h"
#include "server/capture_server.h"
#include "server/registry.h"
#include "tests/support/qt/qt_test_support.h"
#include "tests/window/capture_check.h"
#include "ui/dialog_builder.h"

namespace {

constexpr int BARS[4] = {IDC_BAR_X, IDC_BAR_Y, IDC_BAR_RUDDER, IDC_BAR_THRUST};

class MonitorDialog : public testing::Test {
 protected:
  void SetUp() override {
    set_scale(65535);
    test_joystick().set_axes(0, 0, 0, 0);
    test_joystick().set_buttons(0);
    dialog.show();
  }

  // Fixes the axis scale as the dialog's initialisation would, from caps
  // with X running 0..x_max.
  static void set_scale(std::uint32_t x_max) {
    test_joystick().set_capabilities(platform::JoystickCapabilities{0, x_max, 10});
    platform::JoystickCapabilities caps{};
    fix_axis_scale(&caps);
  }

  void tick(std::uint32_t x, std::uint32_t y, std::uint32_t z, std::uint32_t r,
            std::uint32_t buttons = 0) {
    test_joystick().set_axes(x, y, z, r);
    test_joystick().set_buttons(buttons);
    dialog.OnTimer(IDT_JOYSTICK_POLL);
  }

  QWidget* control(int id) {
    QWidget* widget = dialog_item(&dialog, id);
    EXPECT_NE(widget, nullptr) << "no control " << id;
    return widget;
  }

  // The control as it paints itself now.
  QImage image_of(int id) { return control(id)->grab().toImage(); }

  // The inside of a control, inside its sunken edge, in its own coordinates.
  QRect inside(int id) { return control(id)->contentsRect(); }

  // The bar's length on the lowest inside row, below the text cell.
  int bar_length(int id) {
    QRect rect = inside(id);
    QFontMetrics metrics{QApplication::font()};
    EXPECT_GT(rect.bottom(), rect.top() + 2 + metrics.height()) << "no row below the text";
    return blue_run(image_of(id), rect.left(), rect.bottom());
  }

  CMonitorDlg dialog;
};

TEST_F(MonitorDialog, BarWidthIsRawOverRangeOfTheInsideWidth) {
  int width = inside(IDC_BAR_X).width();
  tick(0, 32767, 65535, 0);
  EXPECT_EQ(bar_length(IDC_BAR_X), 0);
  EXPECT_EQ(bar_length(IDC_BAR_Y), static_cast<int>(32767.0 / 65535.0 * width));
  EXPECT_EQ(bar_length(IDC_BAR_THRUST), width);
  // The raw value 0 still shows its text cell.
  QRect rect = inside(IDC_BAR_X);
  EXPECT_EQ(blue_run(image_of(IDC_BAR_X), rect.left() + 2, rect.top() + 2),
            QFontMetrics(QApplication::font()).horizontalAdvance(QStringLiteral("0")));
}

TEST_F(MonitorDialog, BarAboveRangeIsClippedByItsControl) {
  set_scale(30000);
  tick(65535, 0, 0, 0);
  QImage bar = image_of(IDC_BAR_X);
  QRect rect = inside(IDC_BAR_X);
  EXPECT_EQ(bar_length(IDC_BAR_X), rect.width());
  // The sunken edge around the inside stays.
  EXPECT_EQ(
      blue_pixels(bar, QRect(rect.right() + 1, 0, bar.width() - rect.right() - 1, bar.height())),
      0);
  // Nothing beside the control is painted.
  QImage whole = dialog.grab().toImage();
  QRect geometry = control(IDC_BAR_X)->geometry();
  EXPECT_EQ(blue_pixels(whole, QRect(geometry.right() + 1, geometry.top(), 20, geometry.height())),
            0);
}

TEST_F(MonitorDialog, RudderShowsTheRAxisAndThrustTheZAxis) {
  set_scale(10000);
  int width = inside(IDC_BAR_X).width();
  tick(/*x=*/1250, /*y=*/2500, /*z=*/3750, /*r=*/6250);
  EXPECT_EQ(bar_length(IDC_BAR_X), static_cast<int>(0.125 * width));
  EXPECT_EQ(bar_length(IDC_BAR_Y), static_cast<int>(0.25 * width));
  EXPECT_EQ(bar_length(IDC_BAR_THRUST), static_cast<int>(0.375 * width));
  EXPECT_EQ(bar_length(IDC_BAR_RUDDER), static_cast<int>(0.625 * width));
}

TEST_F(MonitorDialog, ButtonBoxesShowTheLowEightBitsInOrder) {
  auto pressed_boxes = [this] {
    std::vector<int> pressed;
    for (int i = 0; i < 8; ++i) {
      QImage box = image_of(IDC_BUTTON_BOX_1 + i);
      QRect rect = inside(IDC_BUTTON_BOX_1 + i);
      int blue = blue_pixels(box, rect);
      EXPECT_TRUE(blue == 0 || blue == rect.width() * rect.height()) << "box " << i + 1;
      if (blue > 0) pressed.push_back(i + 1);
    }
    return pressed;
  };
  tick(0, 0, 0, 0, 0x1);
  EXPECT_EQ(pressed_boxes(), std::vector<int>{1});
  tick(0, 0, 0, 0, 0x80);
  EXPECT_EQ(pressed_boxes(), std::vector<int>{8});
  tick(0, 0, 0, 0, 0xFFFFFF00);
  EXPECT_EQ(pressed_boxes(), std::vector<int>{});
}

TEST_F(MonitorDialog, DrawingsSurviveRepaintsUntilTheNextTick) {
  tick(65535, 65535, 65535, 65535, 0xFF);
  int reads = test_joystick().reads();
  dialog.repaint();
  for (int id : BARS) EXPECT_EQ(bar_length(id), inside(id).width()) << "bar " << id;
  EXPECT_EQ(test_joystick().reads(), reads);
}

// Counts the paint events of the widgets it watches.
class PaintCounter : public QObject {
 public:
  int paints(QObject* widget) const { return m_paints.value(widget); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++m_paints[watched];
    return false;
  }

 private:
  QHash<QObject*, int> m_paints;
};

TEST_F(MonitorDialog, ATickRepaintsOnlyTheIndicatorsThatChanged) {
  std::vector<int> indicators(std::begin(BARS), std::end(BARS));
  for (int id = IDC_BUTTON_BOX_1; id <= IDC_BUTTON_BOX_8; ++id) indicators.push_back(id);
  tick(100, 200, 300, 400, 0x01);
  QApplication::processEvents();
  PaintCounter counter;
  for (int id : indicators) control(id)->installEventFilter(&counter);

  for (int i = 0; i < 5; ++i) {
    tick(100, 200, 300, 400, 0x01);
    QApplication::processEvents();
  }
  for (int id : indicators) EXPECT_EQ(counter.paints(control(id)), 0) << "indicator " << id;

  // Y and Rudder (the R axis) move, button 1 is let go and button 3 pressed.
  tick(100, 201, 300, 401, 0x04);
  QApplication::processEvents();
  for (int id : indicators) {
    const bool changed =
        id == IDC_BAR_Y || id == IDC_BAR_RUDDER || id == IDC_BUTTON_BOX_1 || id == IDC_BUTTON_BOX_3;
    EXPECT_EQ(counter.paints(control(id)) > 0, changed) << "indicator " << id;
  }
  for (int id : indicators) control(id)->removeEventFilter(&counter);
}

TEST_F(MonitorDialog, OtherTimerIdsDrawNothing) {
  test_joystick().set_axes(65535, 65535, 65535, 65535);
  test_joystick().set_buttons(0xFF);
  int reads = test_joystick().reads();
  dialog.OnTimer(IDT_JOYSTICK_POLL + 1);
  dialog.OnTimer(1);
  EXPECT_EQ(test_joystick().reads(), reads);
  for (int id : BARS) EXPECT_EQ(blue_pixels(image_of(id), inside(id)), 0) << "bar " << id;
  EXPECT_EQ(blue_pixels(image_of(IDC_BUTTON_BOX_1), inside(IDC_BUTTON_BOX_1)), 0);
}

TEST_F(MonitorDialog, AboutSystemCommandsOpenTheAboutBox) {
  for (unsigned command : {0x10u, 0x1Fu}) {
    ModalCloser closer;
    dialog.OnSysCommand(command, 0);
    EXPECT_EQ(closer.closed(), QStringList{QStringLiteral("About Orvandelcaster")})
        << "command " << command;
  }
  for (unsigned command : {0x20u, 0x00u, 0xF060u}) {
    ModalCloser closer;
    dialog.OnSysCommand(command, 0);
    EXPECT_TRUE(closer.closed().isEmpty()) << "command " << command;
  }
  EXPECT_TRUE(dialog.isVisible());
}

TEST_F(MonitorDialog, AboutButtonOpensTheAboutBox) {
  ModalCloser closer;
  QTest::mouseClick(control(IDC_ABOUT), Qt::LeftButton);
  EXPECT_EQ(closer.closed(), QStringList{QStringLiteral("About Orvandelcaster")});
}

TEST_F(MonitorDialog, OkCommandAndEnterLeaveItOpen) {
  ModalCloser closer;
  dialog.accept();
  EXPECT_TRUE(dialog.isVisible());
  auto* about = qobject_cast<QPushButton*>(control(IDC_ABOUT));
  ASSERT_NE(about, nullptr);
  EXPECT_FALSE(about->isDefault());
  EXPECT_FALSE(about->autoDefault());
  about->setFocus();
  QTest::keyClick(about, Qt::Key_Return);
  QTest::keyClick(&dialog, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_TRUE(closer.closed().isEmpty())
      << "Enter opened " << closer.closed().join(", ").toStdString();
}

TEST_F(MonitorDialog, EscAndTheCloseBoxEndIt) {
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  dialog.show();
  dialog.close();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

// The dialog as it runs: reading joystick 0 only when it has news, with a
// temporary folder as the folder of device nodes.
class WatchingDialog : public MonitorDialog {
 protected:
  void TearDown() override {
    test_joystick().set_watched_folders({});
    test_joystick().set_present(true);
    test_joystick().open_reader()->drain_events();
  }

  void start_watching() {
    test_joystick().open_reader()->drain_events();
    test_joystick().set_watched_folders({folder.path().toStdString()});
    dialog.watch_joystick();
    // The display period after the first tick ends.
    QTest::qWait(3 * PERIOD_MS);
  }

  // Readings taken while the event loop runs for ms.
  static int reads_during(int ms) {
    const int before = test_joystick().reads();
    QTest::qWait(ms);
    return test_joystick().reads() - before;
  }

  QString frame_title() {
    auto* frame = qobject_cast<QGroupBox*>(control(IDC_JOYSTICK_GROUP));
    return frame ? frame->title() : QString();
  }

  static constexpr int PERIOD_MS = 20;  // twice the fake's minimum period
  QTemporaryDir folder;
};

TEST_F(WatchingDialog, AnAbsentOrRestingJoystickIsNeverRead) {
  for (bool present : {false, true}) {
    test_joystick().set_present(present);
    CMonitorDlg idle;
    idle.watch_joystick();
    QTest::qWait(3 * PERIOD_MS);
    auto* period = idle.findChild<QTimer*>(QStringLiteral("IDT_JOYSTICK_POLL"));
    EXPECT_TRUE(period && !period->isActive()) << "present " << present;
    EXPECT_EQ(reads_during(300), 0) << "present " << present;
  }
}

TEST_F(WatchingDialog, AnEventIsShownAtOnce) {
  start_watching();
  test_joystick().set_axes(65535, 0, 0, 0);
  test_joystick().post_event();
  QElapsedTimer clock;
  clock.start();
  const int before = test_joystick().reads();
  EXPECT_TRUE(QTest::qWaitFor([&] { return test_joystick().reads() > before; }, 1000));
  EXPECT_LT(clock.elapsed(), 200);
  EXPECT_EQ(bar_length(IDC_BAR_X), inside(IDC_BAR_X).width());
  // One reading, and none more once the display period has passed.
  QTest::qWait(5 * PERIOD_MS);
  EXPECT_EQ(test_joystick().reads() - before, 1);
}

TEST_F(WatchingDialog, ABurstIsReadAtMostOncePerDisplayPeriod) {
  start_watching();
  const int before = test_joystick().reads();
  QElapsedTimer clock;
  clock.start();
  for (std::uint32_t i = 1; i <= 50; ++i) {
    test_joystick().set_axes(i * 1000, 0, 0, 0);
    test_joystick().post_event();
    QTest::qWait(2);
  }
  const qint64 elapsed = clock.elapsed();
  QTest::qWait(3 * PERIOD_MS);
  const int reads = test_joystick().reads() - before;
  EXPECT_LE(reads, elapsed / PERIOD_MS + 2) << "in " << elapsed << " ms";
  EXPECT_GE(reads, 2) << "in " << elapsed << " ms";
  // The last event is shown, also when it came inside a display period.
  EXPECT_EQ(bar_length(IDC_BAR_X), static_cast<int>(50000.0 / 65535.0 * inside(IDC_BAR_X).width()));
}

TEST_F(WatchingDialog, ADeviceChangeIsShownAtOnce) {
  start_watching();
  ASSERT_EQ(frame_title(), QStringLiteral("Fake Joystick"));
  // Unplugged without an event of its own: the device folder tells.
  test_joystick().set_present(false);
  EXPECT_EQ(reads_during(100), 0);
  const int looks = test_joystick().look_agains();
  QFile node(folder.filePath(QStringLiteral("event0")));
  ASSERT_TRUE(node.open(QIODevice::WriteOnly));
  node.close();
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return frame_title() == QStringLiteral("No joystick"); }, 200));
  EXPECT_GT(test_joystick().look_agains(), looks);
}

// What the dialog's initialisation sets going; run in a child process, since
// it starts the server thread for good. Reports each failure on standard error
// and ends with 0 only when all held.
[[noreturn]] void check_init_dialog() {
  std::string registry = "/orvandel_ui_test_init." + std::to_string(::getpid());
  set_registry_object_name(registry.c_str());
  start_sockets();  // as the application does before any dialog
  std::vector<std::string> failures;
  auto check = [&failures](bool ok, const std::string& what) {
    if (!ok) failures.push_back(what);
  };

  test_joystick().set_capabilities(platform::JoystickCapabilities{0, 1000, 7});
  test_joystick().set_axes(750, 500, 250, 1000);
  CMonitorDlg dialog;
  check(dialog.OnInitDialog(), "OnInitDialog returned false");
  check(g_axis_range == 1000.0f && g_axis_centre == 500.0f, "axis scale not fixed from caps");

  auto* poll = dialog.findChild<QTimer*>(QStringLiteral("IDT_JOYSTICK_POLL"));
  check(poll && poll->isActive() && poll->interval() == 14, "timer not running at 2 x 7 ms");

  QList<QSize> sizes = dialog.windowIcon().availableSizes();
  check(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(32, 32)), "window icons not set");

  QAction* about_item = nullptr;
  for (QAction* action : dialog.GetSystemMenu()->actions()) {
    if (action->text() == QStringLiteral("&About Orvandelcaster...")) about_item = action;
  }
  check(about_item != nullptr, "no About item in the system menu");
  if (about_item) {
    ModalCloser closer;
    about_item->trigger();
    check(closer.closed() == QStringList{QStringLiteral("About Orvandelcaster")},
          "the About item did not open the About box");
  }

  std::string error;
  std::vector<float> values;
  client::Connection first;
  check(connect_when_published("Orvandelcaster", 10000, &first, &error) &&
            run_capture_requests(first, &error, &values),
        "not served: " + error);
  // X 750 on a 0..1000 axis: (750 - 500) / 1000; Rudder (R) 1000, Thrust (Z) 250.
  check(values == std::vector<float>{0.25f, 0.0f, 0.5f, -0.25f}, "served values wrong");
  first.end();
  first.close();

  // A second dialog starts no second server: that one would find the name
  // taken and end the process with status 1.
  CMonitorDlg second;
  second.OnInitDialog();
  client::Connection again;
  check(connect_when_published("Orvandelcaster", 10000, &again, &error) &&
            run_capture_requests(again, &error),
        "not served again: " + error);

  for (const std::string& failure : failures) std::fprintf(stderr, "%s\n", failure.c_str());
  if (failures.empty()) std::fprintf(stderr, "initialised and served\n");
  std::fflush(stderr);
  ::shm_unlink(registry.c_str());
  std::_Exit(failures.empty() ? 0 : 1);
}

TEST(MonitorDialogInit, StartsServerTimerIconsAndAboutItem) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(check_init_dialog(), testing::ExitedWithCode(0), "initialised and served");
}

}  // namespace

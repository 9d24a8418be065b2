// What a person sees of the monitor and the About box, on a real X server
// (Xvfb, started by run_with_xvfb.sh): each window is shown, grabbed from the
// screen, and its pictures checked -- no text cut off, labels centred on their
// bars, the About lines on one left edge, joystick 0's state in words. Run at
// any QT_SCALE_FACTOR, and with the application font LAYOUT_FONT_SCALE times
// its size. Nothing is compared with a stored picture.

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSpinBox>
#include <QStyle>
#include <QSvgRenderer>
#include <QTest>
#include <QTextLayout>
#include <QWindow>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/fake_joystick_device.h"
#include "res/resource.h"
#include "ui/about_dialog.h"
#include "ui/calibration_dialog.h"
#include "ui/dialog_builder.h"
#include "ui/monitor_dialog.h"
#include "ui/svg_icon.h"

// QString in failure messages as its text.
void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace {

platform::FakeJoystickDevice& fake_joystick() {
  static auto* joystick = new platform::FakeJoystickDevice;
  return *joystick;
}

// The rows and columns of a rectangle that hold ink: pixels much darker than
// the window's background (text is black on a light grey here).
struct Ink {
  int top = -1, bottom = -1, left = -1, right = -1;
  bool found() const { return top >= 0; }
  double vertical_centre() const { return (top + bottom) / 2.0; }
};

Ink ink_in(const QImage& image, const QRect& rect) {
  Ink ink;
  const QRect inside = rect.intersected(image.rect());
  for (int y = inside.top(); y <= inside.bottom(); ++y) {
    for (int x = inside.left(); x <= inside.right(); ++x) {
      if (qGray(image.pixel(x, y)) >= 110) continue;
      if (!ink.found()) ink = {y, y, x, x};
      ink.bottom = y;
      ink.left = std::min(ink.left, x);
      ink.right = std::max(ink.right, x);
    }
  }
  return ink;
}

class ShownWindow {
 public:
  explicit ShownWindow(QWidget* window) : m_window(window) {
    m_window->show();
    m_exposed = QTest::qWaitForWindowExposed(m_window, 5000);
    QTest::qWait(100);  // the first paints done
  }
  ~ShownWindow() { m_window->hide(); }

  bool exposed() const { return m_exposed; }
  // The window as the screen shows it, in the screen's pixels.
  QImage grab() const {
    QApplication::processEvents();
    QPixmap pixels = m_window->screen()->grabWindow(m_window->winId());
    return pixels.toImage().convertToFormat(QImage::Format_RGB32);
  }
  // A child's rectangle in the grabbed picture's pixels.
  QRect in_picture(const QWidget* child, const QRect& local) const {
    const double scale = m_window->devicePixelRatioF();
    QRect logical(child->mapTo(m_window, local.topLeft()), local.size());
    return QRect(int(std::lround(logical.x() * scale)), int(std::lround(logical.y() * scale)),
                 int(std::lround(logical.width() * scale)),
                 int(std::lround(logical.height() * scale)));
  }
  double scale() const { return m_window->devicePixelRatioF(); }

 private:
  QWidget* m_window;
  bool m_exposed = false;
};

// Width and height the text of a label needs, beside what it has.
void expect_label_fits(const QLabel* label) {
  const QString text = label->text();
  if (text.isEmpty()) return;
  const QRect room = label->contentsRect();
  const QFontMetrics metrics(label->font());
  if (label->wordWrap()) {
    EXPECT_LE(label->heightForWidth(label->width()), label->height())
        << "wrapped text too tall: " << text.toStdString();
  } else {
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& line : lines) {
      EXPECT_LE(metrics.horizontalAdvance(line), room.width())
          << "too narrow for " << line.toStdString();
    }
    EXPECT_LE(lines.size() * metrics.height(), room.height())
        << "too low for " << text.toStdString();
  }
}

// The lines a label shows: its text's own lines, each wrapped at the label's
// width the way Qt wraps a word-wrapped label.
QStringList shown_lines(const QLabel* label) {
  QStringList lines;
  QTextOption option;
  option.setWrapMode(label->wordWrap() ? QTextOption::WordWrap : QTextOption::NoWrap);
  for (const QString& paragraph : label->text().split(QLatin1Char('\n'))) {
    QTextLayout layout(paragraph, label->font());
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
      line.setLineWidth(label->contentsRect().width());
      lines << paragraph.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
  }
  return lines;
}

// A button's text with the margins its style keeps around it, or (for a flat
// button drawn as a line of text) alone.
void expect_buttons_fit(const QWidget* window) {
  for (const QPushButton* button : window->findChildren<QPushButton*>()) {
    int needed = QFontMetrics(button->font()).horizontalAdvance(button->text());
    if (button->styleSheet().isEmpty()) {
      needed += 2 * (button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
                     button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button));
    }
    EXPECT_LE(needed, button->width()) << button->text().toStdString();
  }
}

QLabel* label_with(const QWidget* window, const QString& text) {
  for (QLabel* label : window->findChildren<QLabel*>()) {
    if (label->text() == text) return label;
  }
  return nullptr;
}

platform::JoystickZero zero_of(platform::JoystickZero::State state, const char* path = "",
                               const char* name = "", int open_error = 0) {
  platform::JoystickZero zero;
  zero.state = state;
  zero.device.path = path;
  zero.device.name = name;
  zero.device.open_error = open_error;
  zero.device.group = "input";
  zero.device.group_may_read = true;
  return zero;
}

class MonitorLayout : public testing::Test {
 protected:
  void SetUp() override {
    fake_joystick().set_zero(
        zero_of(platform::JoystickZero::State::READY, "/dev/input/event0", "Fake Joystick"));
    fake_joystick().set_axes(32767, 32767, 32767, 32767);
    m_dialog.OnTimer(IDT_JOYSTICK_POLL);
  }
  CMonitorDlg m_dialog;
};

TEST_F(MonitorLayout, NoTextIsCutOff) {
  for (const QLabel* label : m_dialog.findChildren<QLabel*>()) expect_label_fits(label);
  expect_buttons_fit(&m_dialog);
  // A bar's number, at (2, 2), in the application font: a whole line fits.
  QWidget* bar = dialog_item(&m_dialog, IDC_BAR_X);
  EXPECT_LE(2 + QFontMetrics(QApplication::font()).height(), bar->contentsRect().height());
  auto* group = qobject_cast<QGroupBox*>(dialog_item(&m_dialog, IDC_JOYSTICK_GROUP));
  ASSERT_NE(group, nullptr);
  EXPECT_LT(QFontMetrics(group->font()).horizontalAdvance(group->title()), group->width());

  ShownWindow shown(&m_dialog);
  ASSERT_TRUE(shown.exposed());
  const QImage picture = shown.grab();
  // Ink that reaches a label's last column is cut there.
  for (const char* text : {"X", "Y", "Rudder", "Thrust", "Buttons"}) {
    QLabel* label = label_with(&m_dialog, QString::fromUtf8(text));
    ASSERT_NE(label, nullptr) << text;
    const QRect rect = shown.in_picture(label, label->rect());
    Ink ink = ink_in(picture, rect);
    ASSERT_TRUE(ink.found()) << text << " not shown";
    EXPECT_LT(ink.right, rect.right()) << text << " touches its right edge";
  }
}

TEST_F(MonitorLayout, LabelsAreCentredOnTheirBars) {
  ShownWindow shown(&m_dialog);
  ASSERT_TRUE(shown.exposed());
  const QImage picture = shown.grab();
  struct Row {
    const char* label;
    int indicator;
  };
  for (Row row : {Row{"X", IDC_BAR_X}, Row{"Y", IDC_BAR_Y}, Row{"Rudder", IDC_BAR_RUDDER},
                  Row{"Thrust", IDC_BAR_THRUST}, Row{"Buttons", IDC_BUTTON_BOX_1}}) {
    QLabel* label = label_with(&m_dialog, QString::fromUtf8(row.label));
    QWidget* indicator = dialog_item(&m_dialog, row.indicator);
    ASSERT_TRUE(label && indicator) << row.label;
    Ink ink = ink_in(picture, shown.in_picture(label, label->rect()));
    ASSERT_TRUE(ink.found()) << row.label;
    const QRect bar = shown.in_picture(indicator, indicator->rect());
    const double bar_centre = bar.top() + (bar.height() - 1) / 2.0;
    // Within one pixel of the window's own unit (two screen pixels at 200 %).
    EXPECT_LE(std::abs(ink.vertical_centre() - bar_centre), shown.scale())
        << row.label << ": letters centred at " << ink.vertical_centre() << ", its bar at "
        << bar_centre;
  }
}

// The pixels between neighbours, each within one screen pixel of the others:
// the bars top to bottom, the button boxes left to right.
TEST_F(MonitorLayout, RowsAndButtonBoxesAreEvenlySpaced) {
  ShownWindow shown(&m_dialog);
  ASSERT_TRUE(shown.exposed());
  struct Run {
    const char* what;
    std::vector<int> ids;
    bool across;
  };
  const Run runs[] = {
      {"bar rows", {IDC_BAR_X, IDC_BAR_Y, IDC_BAR_RUDDER, IDC_BAR_THRUST}, false},
      {"button boxes",
       {IDC_BUTTON_BOX_1, IDC_BUTTON_BOX_2, IDC_BUTTON_BOX_3, IDC_BUTTON_BOX_4, IDC_BUTTON_BOX_5,
        IDC_BUTTON_BOX_6, IDC_BUTTON_BOX_7, IDC_BUTTON_BOX_8},
       true},
  };
  for (const Run& run : runs) {
    std::vector<int> gaps;
    std::optional<QRect> previous;
    for (int id : run.ids) {
      QWidget* item = dialog_item(&m_dialog, id);
      ASSERT_NE(item, nullptr) << run.what;
      const QRect rect = shown.in_picture(item, item->rect());
      if (previous) {
        gaps.push_back(run.across ? rect.left() - previous->left() - previous->width()
                                  : rect.top() - previous->top() - previous->height());
      }
      previous = rect;
    }
    const auto [narrowest, widest] = std::minmax_element(gaps.begin(), gaps.end());
    std::string all;
    for (int gap : gaps) all += std::to_string(gap) + " ";
    EXPECT_LE(*widest - *narrowest, 1) << run.what << " apart by " << all << "pixels";
  }
}

TEST_F(MonitorLayout, JoystickZeroInWordsInTheFrameAndTheLineBelow) {
  using State = platform::JoystickZero::State;
  const std::string long_name(90, 'W');
  struct Case {
    platform::JoystickZero zero;
    platform::JoystickChoice choice;
    QString title;
    QString line;
  };
  const Case cases[] = {
      {zero_of(State::READY, "/dev/input/event3", "Logitech Extreme 3D pro"),
       {},
       "Logitech Extreme 3D pro",
       "Joystick 0: /dev/input/event3"},
      {zero_of(State::NO_JOYSTICK),
       {},
       "No joystick",
       "No input device is a joystick; \"capture-probe devices\" tells why"},
      {zero_of(State::UNREADABLE, "/dev/input/event5", "Pad", EACCES),
       {},
       "No permission",
       "No permission to read /dev/input/event5 \u2014 add yourself to the input group"},
      {zero_of(State::NOT_FOUND),
       platform::choice_from_value("Warthog", platform::JOYSTICK_VARIABLE), "Joystick not found",
       "No joystick's name contains \"Warthog\", chosen by ORVANDELCASTER_JOYSTICK"},
      {zero_of(State::READY, "/dev/input/event7", "Tom & Jerry's Pad"),
       {},
       "Tom && Jerry's Pad",
       "Joystick 0: /dev/input/event7"},
  };
  auto* frame = qobject_cast<QGroupBox*>(dialog_item(&m_dialog, IDC_JOYSTICK_GROUP));
  auto* line = qobject_cast<QLabel*>(dialog_item(&m_dialog, IDC_JOYSTICK_STATE));
  ASSERT_TRUE(frame && line);
  ShownWindow shown(&m_dialog);
  ASSERT_TRUE(shown.exposed());
  const QRect caption(0, 0, frame->width(), frame->fontMetrics().height());
  for (const Case& c : cases) {
    fake_joystick().set_zero(c.zero, c.choice);
    m_dialog.OnTimer(IDT_JOYSTICK_POLL);
    EXPECT_EQ(frame->title(), c.title);
    EXPECT_EQ(line->text().replace(QLatin1Char('\n'), QLatin1Char(' ')), c.line);
    expect_label_fits(line);
    const QImage picture = shown.grab();
    EXPECT_TRUE(ink_in(picture, shown.in_picture(frame, caption)).found()) << c.title.toStdString();
    EXPECT_TRUE(ink_in(picture, shown.in_picture(line, line->rect())).found())
        << c.line.toStdString();
  }

  // A name too long for the frame is cut with an ellipsis; the tooltip has it all.
  fake_joystick().set_zero(zero_of(State::READY, "/dev/input/event9", long_name.c_str()));
  m_dialog.OnTimer(IDT_JOYSTICK_POLL);
  EXPECT_TRUE(frame->title().endsWith(QChar(0x2026))) << frame->title().toStdString();
  EXPECT_LT(frame->fontMetrics().horizontalAdvance(frame->title()), frame->width());
  EXPECT_EQ(frame->toolTip(), QString::fromStdString(long_name));

  // A choice too long for two lines is cut in the middle.
  const std::string long_path = "/dev/input/by-id/" + std::string(200, 'p');
  platform::JoystickChoice far =
      platform::choice_from_value(long_path, platform::JOYSTICK_VARIABLE);
  fake_joystick().set_zero(zero_of(State::NOT_FOUND), far);
  m_dialog.OnTimer(IDT_JOYSTICK_POLL);
  expect_label_fits(line);
  EXPECT_TRUE(line->text().contains(QChar(0x2026))) << line->text().toStdString();
  EXPECT_TRUE(line->text().endsWith(QStringLiteral("chosen by ORVANDELCASTER_JOYSTICK")));
}

// The hint below the frame, wrapped as the screen shows it: at spaces only,
// never inside the command it names or a path, in at most its two lines.
TEST_F(MonitorLayout, HintLineBreaksOnlyBetweenWords) {
  using State = platform::JoystickZero::State;
  const std::string event = "/dev/input/event15";
  const std::string settings = "/home/someone/.config/orvandelcaster/settings.conf";
  const std::string by_id = "/dev/input/by-id/usb-Example_Flight_Stick_T.1600-event-joystick";
  platform::JoystickZero not_readable_by_group =
      zero_of(State::UNREADABLE, event.c_str(), "", EACCES);
  not_readable_by_group.device.group_may_read = false;
  struct Case {
    platform::JoystickZero zero;
    platform::JoystickChoice choice;
  };
  const Case cases[] = {
      {zero_of(State::NO_JOYSTICK), {}},
      {zero_of(State::UNREADABLE, event.c_str(), "", EACCES), {}},
      {not_readable_by_group, {}},
      {zero_of(State::UNREADABLE, event.c_str(), "", EIO), {}},
      {zero_of(State::READY, event.c_str(), "Pad"), platform::choice_from_value(event, settings)},
      {zero_of(State::NOT_A_JOYSTICK, by_id.c_str()), platform::choice_from_value(by_id, settings)},
      {zero_of(State::NOT_FOUND), platform::choice_from_value(by_id, settings)},
  };
  auto* line = qobject_cast<QLabel*>(dialog_item(&m_dialog, IDC_JOYSTICK_STATE));
  ASSERT_NE(line, nullptr);
  const QRegularExpression unbreakable(QStringLiteral(R"(\"capture-probe devices\"|/[^\s,:]+)"));
  for (const Case& c : cases) {
    fake_joystick().set_zero(c.zero, c.choice);
    m_dialog.OnTimer(IDT_JOYSTICK_POLL);
    const QStringList lines = shown_lines(line);
    const QString shown = lines.join(QLatin1Char(' '));
    EXPECT_LE(lines.size(), 2) << shown.toStdString();
    EXPECT_LE(lines.size() * line->fontMetrics().height(), line->contentsRect().height())
        << shown.toStdString();
    for (const QString& one : lines) {
      EXPECT_LE(line->fontMetrics().horizontalAdvance(one), line->contentsRect().width())
          << one.toStdString();
    }
    for (auto it = unbreakable.globalMatch(shown); it.hasNext();) {
      const QString token = it.next().captured();
      EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                              [&](const QString& one) { return one.contains(token); }))
          << token.toStdString()
          << " broken in: " << lines.join(QStringLiteral(" | ")).toStdString();
    }
  }
}

TEST(AboutLayout, LinesShareOneLeftEdgeAndNoneIsCutOff) {
  CAboutDlg about;
  for (const QLabel* label : about.findChildren<QLabel*>()) expect_label_fits(label);
  expect_buttons_fit(&about);

  ShownWindow shown(&about);
  ASSERT_TRUE(shown.exposed());
  const QImage picture = shown.grab();
  std::optional<int> first_left;
  for (const char* text : {"Orvandelcaster Version 1.0.1", "Orvandelcaster team",
                           "www.orvandelcaster.example", "Copyright (C) Orvandelcaster team"}) {
    QWidget* line = label_with(&about, QString::fromUtf8(text));
    if (!line) line = dialog_item(&about, IDC_WEB_LINK);
    ASSERT_NE(line, nullptr) << text;
    const QRect rect = shown.in_picture(line, line->rect());
    Ink ink = ink_in(picture, rect);
    ASSERT_TRUE(ink.found()) << text << " not shown";
    EXPECT_LT(ink.right, rect.right()) << text << " touches its right edge";
    if (!first_left) first_left = ink.left;
    // Letters start a pixel or so apart by their shapes ('w' against 'O').
    EXPECT_LE(std::abs(ink.left - *first_left), 2 * shown.scale()) << text;
  }
}

// The About icon as the screen shows it is the drawing rendered in the
// screen's own pixels (64 at 200 %), not a 32-pixel bitmap enlarged.
TEST(AboutLayout, IconIsDrawnAtTheScreensScale) {
  CAboutDlg about;
  auto* icon = about.findChild<IconControl*>();
  ASSERT_NE(icon, nullptr);
  ShownWindow shown(&about);
  ASSERT_TRUE(shown.exposed());
  const QRect rect = shown.in_picture(icon, icon->rect());
  const QImage picture = shown.grab().copy(rect);
  QImage drawing(rect.size(), QImage::Format_RGB32);
  drawing.fill(picture.pixel(0, 0));  // the drawing leaves its corners empty
  QPainter painter(&drawing);
  QSvgRenderer(QStringLiteral(":/icons/orvandelcaster.svg"))
      .render(&painter, QRectF(drawing.rect()));
  painter.end();
  long long difference = 0;
  for (int y = 0; y < rect.height(); ++y) {
    for (int x = 0; x < rect.width(); ++x) {
      const QRgb a = picture.pixel(x, y), b = drawing.pixel(x, y);
      difference += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                    std::abs(qBlue(a) - qBlue(b));
    }
  }
  const double mean = double(difference) / (3.0 * rect.width() * rect.height());
  EXPECT_LT(mean, 2.0) << "icon differs from its drawing by " << mean << " per channel";
}

// The calibration dialog over a gamepad's axes, its longest line (a refusal)
// shown: every text has the room it needs, and none is cut on the screen.
TEST(CalibrateLayout, NoTextIsCutOff) {
  platform::FakeJoystickDevice device;
  std::vector<platform::DeviceAxis> axes;
  for (int code : {ABS_X, ABS_Y, ABS_Z, ABS_RX, ABS_RY, ABS_RZ, ABS_HAT0X, ABS_HAT0Y}) {
    axes.push_back({code, -32768, 32767, 0, 0, -32768});
  }
  device.set_device_axes(axes);
  auto reader = device.open_reader();
  CCalibrateDlg calibrate(*reader, {});
  ShownWindow shown(&calibrate);
  ASSERT_TRUE(shown.exposed());
  calibrate.findChild<QPushButton*>(QStringLiteral("calibrate"))->click();
  calibrate.findChild<QPushButton*>(QStringLiteral("done"))->click();
  QTest::qWait(100);  // laid out again for the message
  ASSERT_TRUE(calibrate.findChild<QLabel*>(QStringLiteral("message"))
                  ->text()
                  .contains(QStringLiteral("not moved")));

  for (const QLabel* label : calibrate.findChildren<QLabel*>()) expect_label_fits(label);
  expect_buttons_fit(&calibrate);
  std::vector<const QWidget*> choices;
  for (const QWidget* w : calibrate.findChildren<QComboBox*>()) choices.push_back(w);
  for (const QWidget* w : calibrate.findChildren<QCheckBox*>()) choices.push_back(w);
  for (const QWidget* w : calibrate.findChildren<QSpinBox*>()) choices.push_back(w);
  for (const QWidget* choice : choices) {
    EXPECT_LE(choice->sizeHint().width(), choice->width()) << choice->objectName().toStdString();
    EXPECT_LE(choice->sizeHint().height(), choice->height()) << choice->objectName().toStdString();
  }
  const QImage picture = shown.grab();
  for (const QLabel* label : calibrate.findChildren<QLabel*>()) {
    if (label->text().isEmpty() || label->wordWrap()) continue;
    const QRect rect = shown.in_picture(label, label->contentsRect());

    const Ink ink = ink_in(picture, rect);
    ASSERT_TRUE(ink.found()) << label->text().toStdString() << " not shown";
    EXPECT_LT(ink.right, rect.right()) << label->text().toStdString() << " touches its right edge";
  }
}

}  // namespace

int main(int argc, char** argv) {
  platform::set_joystick_device(&fake_joystick());
  testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  if (const char* factor = std::getenv("LAYOUT_FONT_SCALE")) {
    QFont font = QApplication::font();
    font.setPointSizeF(font.pointSizeF() * std::atof(factor));
    QApplication::setFont(font);
  }
  return RUN_ALL_TESTS();
}

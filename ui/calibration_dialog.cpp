#include "ui/calibration_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/settings_file.h"
#include "platform/settings_writer.h"

using platform::MappedAxis;

namespace {

// Often enough to catch a control flicked to its limit and back.
constexpr int SAMPLE_PERIOD_MS = 15;

QString control_name(const char* what, MappedAxis channel) {
  return QString::fromUtf8(what) + QLatin1Char('_') +
         QString::fromUtf8(platform::mapped_axis_key(channel));
}

QString axis_text(platform::AxisNaming naming, int code) {
  return QString::fromStdString(platform::axis_name(naming, code));
}

// The settings as the file holds them now; a file the readers refuse counts
// as empty, and the readers' own report says why.
platform::AxisMapping saved_mapping(platform::AxisNaming naming) {
  std::string refused;
  return platform::read_axis_mapping(platform::settings_file_path(), naming, nullptr, &refused);
}

// A button as wide as its text with the margins and frame its style keeps
// around it; some styles' own size hint leaves less.
QPushButton* push_button(const QString& text, const char* name, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QString::fromUtf8(name));
  button->setAutoDefault(false);
  const QStyle* style = button->style();
  const int margins = 2 * (style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
                           style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button));
  button->setMinimumWidth(std::max(button->sizeHint().width(),
                                   button->fontMetrics().horizontalAdvance(text) + margins));
  return button;
}

QLabel* plain_label(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  return label;
}

}  // namespace

CCalibrateDlg::CCalibrateDlg(platform::JoystickReader& reader,
                             std::function<void()> preview_changed, QWidget* parent)
    : QDialog(parent),
      m_reader(reader),
      m_previewChanged(std::move(preview_changed)),
      m_naming(reader.status().naming),
      m_axes(reader.read_device_axes()),
      m_mapping(saved_mapping(m_naming)) {
  setWindowTitle(QStringLiteral("Calibrate"));
  build();
  m_sampler = new QTimer(this);
  m_sampler->setInterval(SAMPLE_PERIOD_MS);
  connect(m_sampler, &QTimer::timeout, this, &CCalibrateDlg::on_sample);
  m_sampler->start();
  on_sample();
  preview();
}

void CCalibrateDlg::build() {
  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  auto* intro = plain_label(
      QStringLiteral("Choose the axis each channel reads. To calibrate, press Calibrate, move "
                     "every control to both its limits, let go of them and press Done."),
      this);
  intro->setWordWrap(true);
  layout->addWidget(intro);

  auto* grid = new QGridLayout;
  // Keeps the raw values apart from the calibration beside them.
  const int values_gap = 2 * fontMetrics().averageCharWidth();
  const char* headings[] = {"Channel", "Axis", "", "Dead zone", "Now", "Min / centre / max"};
  for (int column = 0; column < 6; ++column) {
    QLabel* heading = plain_label(QString::fromUtf8(headings[column]), this);
    // The values stand right-aligned under their heading.
    if (column == 4) {
      heading->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      heading->setContentsMargins(0, 0, values_gap, 0);
    }
    grid->addWidget(heading, 0, column);
  }
  // Wide enough for the raw values of most devices, so the rows do not jump
  // as values change; a wider one widens the dialog.
  const int number_width = fontMetrics().horizontalAdvance(QStringLiteral("-32768"));
  int row = 1;
  for (MappedAxis channel : platform::MAPPED_AXES) {
    ChannelRow& controls = m_rows[static_cast<std::size_t>(channel)];
    const platform::AxisSetting& setting = m_mapping[channel];
    grid->addWidget(plain_label(QString::fromUtf8(channel_label(channel)), this), row, 0);

    controls.axis = new QComboBox(this);
    controls.axis->setObjectName(control_name("axis", channel));
    grid->addWidget(controls.axis, row, 1);
    fill_axis_choice(channel);
    connect(controls.axis, &QComboBox::currentIndexChanged, this,
            [this, channel] { on_axis_chosen(channel); });

    controls.invert = new QCheckBox(QStringLiteral("Invert"), this);
    controls.invert->setObjectName(control_name("invert", channel));
    controls.invert->setChecked(setting.inverted);
    grid->addWidget(controls.invert, row, 2);
    connect(controls.invert, &QCheckBox::toggled, this, [this, channel](bool on) {
      m_mapping[channel].inverted = on;
      preview();
    });

    controls.deadzone = new QSpinBox(this);
    controls.deadzone->setObjectName(control_name("deadzone", channel));
    controls.deadzone->setRange(0, 50);
    controls.deadzone->setSuffix(QStringLiteral(" %"));
    controls.deadzone->setValue(setting.deadzone_percent);
    grid->addWidget(controls.deadzone, row, 3);
    connect(controls.deadzone, &QSpinBox::valueChanged, this, [this, channel](int percent) {
      m_mapping[channel].deadzone_percent = percent;
      preview();
    });

    controls.now = plain_label(QString(), this);
    controls.now->setObjectName(control_name("now", channel));
    controls.now->setMinimumWidth(number_width + values_gap);
    controls.now->setContentsMargins(0, 0, values_gap, 0);
    controls.now->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(controls.now, row, 4);

    controls.calibration = plain_label(QString(), this);
    controls.calibration->setObjectName(control_name("calibration", channel));
    controls.calibration->setMinimumWidth(
        fontMetrics().horizontalAdvance(QStringLiteral("-32768 / -32768 / -32768")));
    grid->addWidget(controls.calibration, row, 5);
    ++row;
  }
  grid->setColumnMinimumWidth(4, number_width);
  layout->addLayout(grid);

  auto* steps = new QHBoxLayout;
  auto* calibrate = push_button(QStringLiteral("Calibrate"), "calibrate", this);
  calibrate->setEnabled(!m_axes.empty());
  m_done = push_button(QStringLiteral("Done"), "done", this);
  m_done->setEnabled(false);
  auto* forget = push_button(QStringLiteral("Use the device's limits"), "forget", this);
  for (QPushButton* button : {calibrate, m_done, forget}) steps->addWidget(button);
  steps->addStretch();
  connect(calibrate, &QPushButton::clicked, this, &CCalibrateDlg::on_calibrate);
  connect(m_done, &QPushButton::clicked, this, &CCalibrateDlg::on_done);
  connect(forget, &QPushButton::clicked, this, &CCalibrateDlg::on_forget);
  layout->addLayout(steps);

  m_message = plain_label(QString(), this);
  m_message->setObjectName(QStringLiteral("message"));
  m_message->setWordWrap(true);
  layout->addWidget(m_message);
  if (m_axes.empty()) {
    show_message(
        QStringLiteral("No joystick is there to calibrate; the axes can still be chosen."));
  }

  auto* ending = new QHBoxLayout;
  ending->addStretch();
  auto* save = push_button(QStringLiteral("Save"), "save", this);
  auto* cancel = push_button(QStringLiteral("Cancel"), "cancel", this);
  ending->addWidget(save);
  ending->addWidget(cancel);
  connect(save, &QPushButton::clicked, this, &CCalibrateDlg::on_save);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  layout->addLayout(ending);
  show_calibrations();
}

// "Default (ABS_X)" first: no axis named in the settings; then the device's
// axes; then the axis the settings name when the device has none such.
void CCalibrateDlg::fill_axis_choice(MappedAxis channel) {
  QComboBox* choice = m_rows[static_cast<std::size_t>(channel)].axis;
  const int default_code = platform::default_axis_code(m_naming, channel, m_axes);
  choice->addItem(
      QStringLiteral("Default (%1)")
          .arg(default_code >= 0 ? axis_text(m_naming, default_code) : QStringLiteral("none")),
      -1);
  for (const platform::DeviceAxis& axis : m_axes)
    choice->addItem(axis_text(m_naming, axis.code), axis.code);
  const std::optional<int> chosen = m_mapping[channel].code;
  if (!chosen) return;
  int index = choice->findData(*chosen);
  if (index < 0) {
    choice->addItem(QStringLiteral("%1 (not on this device)").arg(axis_text(m_naming, *chosen)),
                    *chosen);
    index = choice->count() - 1;
  }
  choice->setCurrentIndex(index);
}

void CCalibrateDlg::on_axis_chosen(MappedAxis channel) {
  const int code = m_rows[static_cast<std::size_t>(channel)].axis->currentData().toInt();
  std::optional<int> chosen = code >= 0 ? std::optional(code) : std::nullopt;
  if (chosen == m_mapping[channel].code) return;
  m_mapping[channel].code = chosen;
  // A calibration is in the units of the axis it was taken on.
  m_mapping[channel].calibration.reset();
  show_calibrations();
  preview();
}

void CCalibrateDlg::on_sample() {
  m_axes = m_reader.read_device_axes();
  if (m_sweep) m_sweep->see(m_axes);
  const auto codes = platform::mapped_axis_codes(m_axes, m_mapping, m_naming);
  for (std::size_t index = 0; index < platform::MAPPED_AXIS_COUNT; ++index) {
    const platform::DeviceAxis* axis = platform::find_device_axis(m_axes, codes[index]);
    m_rows[index].now->setText(axis ? QString::number(axis->value) : QStringLiteral("-"));
  }
}

void CCalibrateDlg::on_calibrate() {
  m_sweep.emplace();
  on_sample();  // where every control is as the sweep begins
  m_done->setEnabled(true);
  m_done->setDefault(true);
  show_message(
      QStringLiteral("Move every control to both its limits, let go of them and "
                     "press Done."));
}

void CCalibrateDlg::on_done() {
  if (!m_sweep) return;
  on_sample();  // the rest position is the one at this moment
  SweepResult result = finish_sweep(*m_sweep, m_axes, m_mapping, m_naming);
  if (!result.mapping) {
    show_message(QString::fromStdString(result.refusal));
    return;
  }
  m_sweep.reset();
  m_done->setEnabled(false);
  m_mapping = *result.mapping;
  show_calibrations();
  show_message(QStringLiteral("Calibrated. Save keeps it."));
  preview();
}

void CCalibrateDlg::on_forget() {
  for (platform::AxisSetting& setting : m_mapping.axes) setting.calibration.reset();
  show_calibrations();
  preview();
}

void CCalibrateDlg::on_save() {
  const std::string why = platform::write_setting_changes(
      platform::settings_file_path(), mapping_changes(m_mapping, m_naming, m_axes));
  if (!why.empty()) {
    show_message(QStringLiteral("Not saved: %1").arg(QString::fromStdString(why)));
    return;
  }
  accept();
}

void CCalibrateDlg::show_calibrations() {
  for (MappedAxis channel : platform::MAPPED_AXES) {
    const auto& calibration = m_mapping[channel].calibration;
    m_rows[static_cast<std::size_t>(channel)].calibration->setText(
        calibration ? QStringLiteral("%1 / %2 / %3")
                          .arg(calibration->min)
                          .arg(calibration->centre)
                          .arg(calibration->max)
                    : QStringLiteral("the device's limits"));
  }
}

void CCalibrateDlg::show_message(const QString& text) { m_message->setText(text); }

void CCalibrateDlg::preview() {
  m_reader.preview_mapping(m_mapping);
  if (m_previewChanged) m_previewChanged();
}

int CCalibrateDlg::DoModal() { return exec(); }

void CCalibrateDlg::done(int result) {
  m_sampler->stop();
  m_reader.preview_mapping(std::nullopt);
  if (m_previewChanged) m_previewChanged();
  QDialog::done(result);
}

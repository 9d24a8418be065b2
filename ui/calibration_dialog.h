#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <vector>

#include "monitor/calibration_model.h"
#include "platform/joystick_device.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimer;

// The calibration dialog, opened from the monitor's system menu: for each of
// the four channels the device axis it reads, Invert and the dead zone, and a
// calibration sweep (Calibrate, move every control to both its limits, let
// go, Done). While it is open the monitor's bars show the mapping as edited
// (a preview on the monitor's own reader, no other reader sees it); Save
// writes it to the settings file, where every reader takes it within a
// second, and Cancel, Esc or the close box leave the file as it was.
//
// Its controls are named for tests: "axis_x", "invert_x", "deadzone_x",
// "now_x", "calibration_x" (and _y, _rudder, _thrust), "calibrate", "done",
// "forget", "save", "cancel" and the line "message".
class CCalibrateDlg : public QDialog {
  Q_OBJECT

 public:
  // reader: the monitor's; preview_changed: called after the preview
  // changed, so the monitor shows it at once.
  CCalibrateDlg(platform::JoystickReader& reader, std::function<void()> preview_changed,
                QWidget* parent = nullptr);

  int DoModal();
  // Ends the preview, however the dialog ends.
  void done(int result) override;

 private:
  struct ChannelRow {
    QComboBox* axis;
    QCheckBox* invert;
    QSpinBox* deadzone;
    QLabel* now;
    QLabel* calibration;
  };

  void build();
  void fill_axis_choice(platform::MappedAxis channel);
  void on_axis_chosen(platform::MappedAxis channel);
  void on_sample();
  void on_calibrate();
  void on_done();
  void on_forget();
  void on_save();
  void show_calibrations();
  void show_message(const QString& text);
  void preview();

  platform::JoystickReader& m_reader;
  std::function<void()> m_previewChanged;
  platform::AxisNaming m_naming;
  std::vector<platform::DeviceAxis> m_axes;  // the device's, as last read
  platform::AxisMapping m_mapping;           // as edited
  std::optional<AxisSweep> m_sweep;          // while calibrating
  std::array<ChannelRow, platform::MAPPED_AXIS_COUNT> m_rows{};
  QPushButton* m_done = nullptr;
  QLabel* m_message = nullptr;
  QTimer* m_sampler = nullptr;
};

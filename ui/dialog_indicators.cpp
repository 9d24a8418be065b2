#include "ui/dialog_indicators.h"

#include "ui/dialog_builder.h"
#include "ui/indicator_control.h"

namespace {

IndicatorControl* indicator(QWidget* dialog, int id) {
  return qobject_cast<IndicatorControl*>(dialog_item(dialog, id));
}

}  // namespace

void draw_axis_bar(QWidget* dialog, int id, std::int32_t raw) {
  if (IndicatorControl* control = indicator(dialog, id)) control->show_axis_bar(raw);
}

void draw_button_box(QWidget* dialog, int id, std::uint32_t pressed) {
  if (IndicatorControl* control = indicator(dialog, id)) control->show_button_box(pressed != 0);
}

void set_axis_bar_range(QWidget* dialog, int id, float axis_range) {
  if (IndicatorControl* control = indicator(dialog, id)) control->set_axis_range(axis_range);
}

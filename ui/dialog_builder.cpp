#include "ui/dialog_builder.h"

#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <vector>

#include "res/dialog_template.h"
#include "res/resource.h"
#include "ui/indicator_control.h"
#include "ui/svg_icon.h"

namespace {

// Every control is named after its id. The monitor looks up twelve controls
// on every tick of its timer: a name is found in a fraction of the time a
// dynamic property takes (that lookup walks the names of every static
// property of the widget's classes first).
QString control_name(int id) { return QStringLiteral("control_") + QString::number(id); }

// Rounds value * numerator / denominator to nearest, as dialog unit mapping does.
int scale_rounded(int value, int numerator, int denominator) {
  long long product = static_cast<long long>(value) * numerator;
  long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator
                                       : (product - half) / denominator);
}

Qt::WindowFlags window_flags(unsigned style) {
  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint;
  if (style & DIALOG_CAPTION) flags |= Qt::WindowTitleHint;
  if (style & DIALOG_SYSTEM_MENU) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (style & DIALOG_MINIMIZE_BOX) flags |= Qt::WindowMinimizeButtonHint;
  return flags;
}

// Centres a one-line label's letters, not its line, top to bottom: the line
// has room for descenders below the baseline, so centring the line puts
// capitals and ascenders (all these labels have) a pixel or two low.
void centre_letters(QLabel* label) {
  QFontMetricsF metrics(label->font());
  const qreal letters_centre = metrics.ascent() - metrics.capHeight() / 2;
  const int shift = qRound(2 * letters_centre - metrics.height());
  label->setContentsMargins(0, std::max(0, -shift), 0, std::max(0, shift));
}

QWidget* create_static(const ControlTemplate& control, QDialog* dialog) {
  if (control.style & STYLE_SUNKEN) return new IndicatorControl(dialog);
  if (control.style & STYLE_ICON) return new IconControl(load_icon(control.icon), dialog);
  auto* label = new QLabel(dialog);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap((control.style & STYLE_WORD_WRAP) != 0);
  if (control.style & STYLE_CENTER_VERTICAL) {
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    if (!(control.style & STYLE_WORD_WRAP)) centre_letters(label);
  } else {
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  }
  label->setText(QString::fromUtf8(control.text ? control.text : ""));
  return label;
}

QWidget* create_button(const ControlTemplate& control, QDialog* dialog) {
  QString text = QString::fromUtf8(control.text ? control.text : "");
  if (control.style & STYLE_GROUP_BOX) return new QGroupBox(text, dialog);
  auto* button = new QPushButton(text, dialog);
  // Only a default button answers Enter; a plain push button must not become
  // the default when it has the focus.
  button->setAutoDefault(false);
  button->setDefault((control.style & STYLE_DEFAULT_BUTTON) != 0);
  button->setFlat((control.style & STYLE_FLAT) != 0);
  // A flat button with left text reads as a line of text: its text starts
  // at the button's left edge, in line with the labels above and below.
  if ((control.style & STYLE_FLAT) && (control.style & STYLE_LEFT_TEXT)) {
    button->setStyleSheet(
        QStringLiteral("QPushButton { text-align: left; padding: 0px; border: none; }"));
  }
  button->setFocusPolicy((control.style & STYLE_TAB_STOP) ? Qt::StrongFocus : Qt::ClickFocus);
  if (control.id == IDOK) QObject::connect(button, &QPushButton::clicked, dialog, &QDialog::accept);
  if (control.id == IDCANCEL) {
    QObject::connect(button, &QPushButton::clicked, dialog, &QDialog::reject);
  }
  return button;
}

}  // namespace

DialogBaseUnits dialog_base_units(const QFont& font) {
  QFontMetrics metrics(font);
  // The average width of the 52 letters, rounded, as the original platform takes it.
  int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {(letters / 26 + 1) / 2, metrics.height()};
}

QRect map_dialog_rect(DialogBaseUnits units, int x, int y, int width, int height) {
  return QRect(scale_rounded(x, units.x, 4), scale_rounded(y, units.y, 8),
               scale_rounded(width, units.x, 4), scale_rounded(height, units.y, 8));
}

bool create_dialog_controls(QDialog* dialog, int template_id) {
  const DialogTemplate* dialog_template = load_dialog_template(template_id);
  if (!dialog_template) return false;

  dialog->setWindowTitle(QString::fromUtf8(dialog_template->caption));
  dialog->setWindowFlags(window_flags(dialog_template->style));
  // The application's font: the one the user's desktop chose, at its size.
  DialogBaseUnits units = dialog_base_units(dialog->font());
  // Fixed before the window exists, so no platform is asked to change it later.
  dialog->setFixedSize(
      map_dialog_rect(units, 0, 0, dialog_template->width, dialog_template->height).size());

  std::vector<QWidget*> created;
  for (const ControlTemplate& control : dialog_template->controls) {
    QWidget* widget = control.control_class == ControlClass::STATIC
                          ? create_static(control, dialog)
                          : create_button(control, dialog);
    widget->setObjectName(control_name(control.id));
    QRect rect = map_dialog_rect(units, control.x, control.y, control.width, control.height);
    // An icon static takes the size of its icon, whatever the template says.
    if (control.style & STYLE_ICON) rect.setSize(QSize(32, 32));
    widget->setGeometry(rect);
    created.push_back(widget);
  }
  // Template order is top to bottom: the group box, late in the list, lies
  // under the bars and boxes it frames.
  for (auto it = created.rbegin(); it != created.rend(); ++it) (*it)->raise();
  return true;
}

QWidget* dialog_item(const QWidget* dialog, int id) {
  if (!dialog) return nullptr;
  const QString name = control_name(id);
  for (QObject* child : dialog->children()) {
    if (child->objectName() == name) return qobject_cast<QWidget*>(child);
  }
  return nullptr;
}

QIcon load_icon(int id) {
  if (id != IDR_MAINFRAME) return QIcon();
  return svg_icon(QStringLiteral(":/icons/orvandelcaster.svg"),
                  QStringLiteral(":/icons/orvandelcaster-small.svg"));
}

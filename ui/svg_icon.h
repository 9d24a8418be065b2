#pragma once

#include <QIcon>
#include <QString>
#include <QWidget>

// The program's icon drawn from its SVG drawings at the pixels it is shown in,
// so it is as sharp on a 2x screen as on a 1x one: the drawing made for small
// sizes below 32 pixels, the full one from there up.
QIcon svg_icon(const QString& large_drawing, const QString& small_drawing);

// A dialog's icon control: the icon painted into the widget's rectangle at
// paint time, in the pixels of the screen the widget is on.
class IconControl : public QWidget {
  Q_OBJECT

 public:
  IconControl(const QIcon& icon, QWidget* parent);
  const QIcon& icon() const { return m_icon; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QIcon m_icon;
};

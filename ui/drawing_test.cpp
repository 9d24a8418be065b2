#include "ui/drawing.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include "tests/support/qt/qt_test_support.h"

namespace {

// Paints an axis bar into a fresh image of the given inside size, on grey.
QImage painted_bar(std::int32_t raw, float range, QSize client = QSize(180, 24)) {
  QImage image(client, QImage::Format_ARGB32);
  image.fill(QColor(200, 200, 200));
  QPainter painter(&image);
  paint_axis_bar(painter, client, raw, range);
  return image;
}

}  // namespace

TEST(PaintAxisBar, TextCellIsOpaqueBlueWithWhiteDigitsAt2_2) {
  QImage image = painted_bar(0, 65535.0f);
  QFontMetrics metrics{QFont()};
  int cell_width = metrics.horizontalAdvance(QStringLiteral("0"));
  // No bar: the left column and the row above the cell stay grey.
  EXPECT_EQ(blue_pixels(image, QRect(0, 0, 2, 24)), 0);
  EXPECT_EQ(blue_pixels(image, QRect(0, 0, 180, 2)), 0);
  // The cell starts at (2, 2) and is as wide as the text.
  EXPECT_EQ(blue_run(image, 2, 2), cell_width);
  EXPECT_EQ(blue_pixels(image, QRect(2 + cell_width, 2, 50, 10)), 0);
  bool white = false;
  for (int y = 2; y < 2 + metrics.height(); ++y) {
    for (int x = 2; x < 2 + cell_width; ++x) white |= image.pixel(x, y) == qRgb(255, 255, 255);
  }
  EXPECT_TRUE(white) << "no white digit pixels in the text cell";
}

TEST(PaintAxisBar, TextCellIsAsWideAsTheTextInAnyFont) {
  for (qreal points : {7.0, 9.0, 10.5, 13.5, 20.0}) {
    QFont font;
    font.setPointSizeF(points);
    QFontMetrics metrics(font);
    for (std::int32_t raw : {0, 1, 7, 11, 32767, 65535, -1, -65535, INT32_MIN, INT32_MAX, 40404}) {
      QImage image(QSize(400, 60), QImage::Format_ARGB32);
      image.fill(QColor(200, 200, 200));
      QPainter painter(&image);
      painter.setFont(font);
      paint_axis_bar(painter, image.size(), raw, 1e12f);
      painter.end();
      EXPECT_EQ(blue_run(image, 2, 2), metrics.horizontalAdvance(QString::number(raw)))
          << points << " pt, raw " << raw;
    }
  }
}

TEST(PaintAxisBar, NegativeRawShowsSignedTextAndNoBar) {
  QImage image = painted_bar(-123, 65535.0f);
  QFontMetrics metrics{QFont()};
  EXPECT_EQ(blue_run(image, 2, 2), metrics.horizontalAdvance(QStringLiteral("-123")));
  EXPECT_EQ(blue_pixels(image, QRect(0, 0, 2, 24)), 0);
}

TEST(PaintAxisBar, ZeroRangeShowsTextWithoutBar) {
  QImage image = painted_bar(40000, 0.0f);
  QFontMetrics metrics{QFont()};
  EXPECT_EQ(blue_pixels(image, QRect(0, 0, 2, 24)), 0);
  EXPECT_EQ(blue_run(image, 2, 2), metrics.horizontalAdvance(QStringLiteral("40000")));
}

TEST(PaintButtonBox, FillsTheWholeInsideOnlyWhenPressed) {
  QImage image(QSize(14, 11), QImage::Format_ARGB32);
  image.fill(QColor(200, 200, 200));
  {
    QPainter painter(&image);
    paint_button_box(painter, image.size(), false);
  }
  EXPECT_EQ(blue_pixels(image, image.rect()), 0);
  {
    QPainter painter(&image);
    paint_button_box(painter, image.size(), true);
  }
  EXPECT_EQ(blue_pixels(image, image.rect()), 14 * 11);
}

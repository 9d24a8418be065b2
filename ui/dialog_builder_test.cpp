#include "ui/dialog_builder.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFont>
#include <QPushButton>

#include "res/resource.h"
#include "ui/monitor_dialog.h"

namespace {

TEST(DialogUnits, FollowTheFontsAverageWidthAndHeight) {
  DialogBaseUnits units{7, 13};
  // x * 7 / 4 and y * 13 / 8, rounded to nearest.
  EXPECT_EQ(map_dialog_rect(units, 52, 18, 103, 15), QRect(91, 29, 180, 24));
  EXPECT_EQ(map_dialog_rect(units, 0, 0, 239, 138), QRect(0, 0, 418, 224));
  QFont font;
  font.setPointSize(8);
  QFont larger = font;
  larger.setPointSize(16);
  EXPECT_GT(dialog_base_units(larger).x, dialog_base_units(font).x);
  EXPECT_GT(dialog_base_units(larger).y, dialog_base_units(font).y);
}

TEST(DialogBuilder, MonitorTakesItsTemplatesLayoutInTheApplicationFont) {
  CMonitorDlg dialog;
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Orvandelcaster"));
  EXPECT_EQ(dialog.font(), QApplication::font());
  DialogBaseUnits units = dialog_base_units(dialog.font());
  EXPECT_EQ(dialog.size(), map_dialog_rect(units, 0, 0, 239, 138).size());
  EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << "the dialog is not resizable";
  EXPECT_EQ(dialog_item(&dialog, IDC_BAR_THRUST)->geometry(),
            map_dialog_rect(units, 52, 67, 103, 14));
  EXPECT_EQ(dialog_item(&dialog, IDC_BUTTON_BOX_8)->geometry(),
            map_dialog_rect(units, 136, 94, 9, 8));
  for (int id = IDC_BUTTON_BOX_1; id <= IDC_BUTTON_BOX_8; ++id) {
    EXPECT_NE(dialog_item(&dialog, id), nullptr) << id;
  }
  // No OK or Cancel button, and no button that Enter would click.
  EXPECT_EQ(dialog_item(&dialog, IDOK), nullptr);
  EXPECT_EQ(dialog_item(&dialog, IDCANCEL), nullptr);
  for (auto* button : dialog.findChildren<QPushButton*>()) {
    EXPECT_FALSE(button->isDefault() || button->autoDefault()) << button->text().toStdString();
  }
  EXPECT_EQ(dialog_item(&dialog, 4242), nullptr);
}

TEST(DialogBuilder, ALargerApplicationFontGrowsTheDialog) {
  const QFont original = QApplication::font();
  QSize normal = CMonitorDlg().size();
  QFont larger = original;
  larger.setPointSizeF(original.pointSizeF() * 1.5);
  QApplication::setFont(larger);
  QSize grown = CMonitorDlg().size();
  QApplication::setFont(original);
  EXPECT_GT(grown.width(), normal.width() * 1.3);
  EXPECT_GT(grown.height(), normal.height() * 1.3);
}

TEST(DialogBuilder, UnknownTemplateChangesNothing) {
  QDialog dialog;
  dialog.setWindowTitle(QStringLiteral("untouched"));
  EXPECT_FALSE(create_dialog_controls(&dialog, 4242));
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("untouched"));
  EXPECT_TRUE(dialog.children().isEmpty());
}

}  // namespace

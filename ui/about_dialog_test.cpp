#include "ui/about_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QtTest/QTest>

#include "res/resource.h"
#include "ui/dialog_builder.h"
#include "ui/svg_icon.h"

namespace {

QStringList label_texts(const QDialog& dialog) {
  QStringList texts;
  for (auto* label : dialog.findChildren<QLabel*>()) {
    if (!label->text().isEmpty()) texts << label->text();
  }
  return texts;
}

TEST(AboutDialog, ShowsCaptionVersionAndIcon) {
  CAboutDlg about;
  EXPECT_EQ(about.windowTitle(), QStringLiteral("About Orvandelcaster"));
  EXPECT_EQ(about.parentWidget(), nullptr);
  EXPECT_TRUE(label_texts(about).contains(QStringLiteral("Orvandelcaster Version 1.0.1")));
  auto* icon = about.findChild<IconControl*>();
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->size(), QSize(32, 32));
  EXPECT_FALSE(icon->icon().isNull());
  auto* ok = qobject_cast<QPushButton*>(dialog_item(&about, IDOK));
  ASSERT_NE(ok, nullptr);
  EXPECT_TRUE(ok->isDefault());
}

TEST(AboutDialog, WebAddressDoesNothingWhenClicked) {
  CAboutDlg about;
  about.show();
  QWidgetList before = QApplication::topLevelWidgets();
  QTest::mouseClick(dialog_item(&about, IDC_WEB_LINK), Qt::LeftButton);
  EXPECT_TRUE(about.isVisible());
  EXPECT_EQ(QApplication::topLevelWidgets(), before);
}

TEST(AboutDialog, OkAndEnterAcceptEscRejects) {
  CAboutDlg about;
  about.show();
  QTest::mouseClick(dialog_item(&about, IDOK), Qt::LeftButton);
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(about.result(), QDialog::Accepted);

  about.show();
  QTest::keyClick(&about, Qt::Key_Return);
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(about.result(), QDialog::Accepted);

  about.show();
  QTest::keyClick(&about, Qt::Key_Escape);
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(about.result(), QDialog::Rejected);
}

}  // namespace

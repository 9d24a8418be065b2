// The main of every Qt test binary: the test environment first, then the one
// QApplication every test of the binary shares.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileInfo>

#include "tests/support/qt/qt_test_support.h"

int main(int argc, char** argv) {
  // The binary's name keeps the runtime directories of two suites apart.
  QByteArray suite = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName().toLocal8Bit();
  prepare_qt_test_environment(suite.constData());
  testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}

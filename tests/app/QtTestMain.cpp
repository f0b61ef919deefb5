#include <gtest/gtest.h>

#include <QApplication>

// The Qt pieces under test need an application object for their events, and
// the widgets a platform; the offscreen one needs no display, also when the
// test list is read at build time.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}

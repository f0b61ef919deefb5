#include <gtest/gtest.h>

#include <QCoreApplication>

// The Qt pieces under test need an application object for their events.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}

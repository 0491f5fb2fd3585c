#include <gtest/gtest.h>

#include <QApplication>

// The main of the widget tests: a QApplication on the platform CTest gives
// (offscreen).
int main(int argc, char** argv) {
    // The test listing runs without CTest's environment: never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

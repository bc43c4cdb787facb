#include <gtest/gtest.h>

#include <QApplication>

// The window's tests need one QApplication for the whole run; they draw offscreen unless a
// platform is named.
int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

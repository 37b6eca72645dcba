// The overlay draws text, so the tests run inside a GUI application object.
#include <gtest/gtest.h>

#include <QGuiApplication>

int main(int argc, char** argv)
{
    // Also when the runner lists the tests without the test environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include <QApplication>
#include <gtest/gtest.h>

// GUI tests run the real widgets on Qt's offscreen platform.
int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // No test may reach the user's own session bus, where a keyring would
    // take test passwords and the desktop would show test notifications.
    // Tests that need a bus start a private one.
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vantrel-tests-have-no-session-bus", 1);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vantrel"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

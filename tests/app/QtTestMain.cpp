#include <QApplication>
#include <gtest/gtest.h>

// GUI tests run the real widgets on Qt's offscreen platform.
int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vantrel"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

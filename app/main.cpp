#include "app/SiteMonitorApp.h"

#include <QApplication>

#include <cstdlib>

int main(int argc, char** argv) {
    // Without a display the program still monitors, on Qt's offscreen platform.
    const bool noDisplay = !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY");
    if (noDisplay && !std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    // A StatusNotifierItem tray shows the application name as the item's title.
    QApplication::setApplicationName(QString::fromLatin1(vantrel::CSiteMonitorApp::kDisplayName));
    const bool headless = QApplication::platformName() == QLatin1String("offscreen") ||
                          QApplication::platformName() == QLatin1String("minimal");
    vantrel::CSiteMonitorApp vantrelApp;
    return vantrelApp.InitInstance(headless);
}

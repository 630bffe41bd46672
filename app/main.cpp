#include "app/CommandLine.h"
#include "app/SiteMonitorApp.h"
#include "app/StartFolder.h"
#include "launch/LibraryEntries.h"
#include "platform/OpenFiles.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

// The desktop program: the executable (launch/main.cpp) loads this library
// and calls it for a start without a command word.
int vantrel_desktop_main(int argc, char** argv) {
    // The options are read before Qt starts, so --help, --version and a
    // mistyped option touch no file and need no display.
    using vantrel::CommandLine;
    const CommandLine line =
        CommandLine::parse(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    if (const std::optional<int> status = line.answer())
        return *status;
    if (line.action() == CommandLine::Action::MenuStart)
        vantrel::StartFolder::enter(vantrel::StartFolder::forMenuStart(), vantrel::StartFolder::home());

    // Room for every fetch, mail and file, whatever connects to the metrics.
    vantrel::OpenFiles::raiseLimit();
    // Without a display the program still monitors, on Qt's offscreen platform.
    const bool noDisplay = !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY");
    if (noDisplay && !std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt reads only the program's name: no option reaches it.
    static char programName[] = "vantrel";
    char* qtArgv[] = {argc > 0 && argv[0] ? argv[0] : programName, nullptr};
    int qtArgc = 1;
    QApplication app(qtArgc, qtArgv);
    // A StatusNotifierItem tray shows the application name as the item's title.
    QApplication::setApplicationName(QString::fromLatin1(vantrel::CSiteMonitorApp::kDisplayName));
    QApplication::setDesktopFileName(QStringLiteral("org.vantrel.vantrel"));
    const bool headless = QApplication::platformName() == QLatin1String("offscreen") ||
                          QApplication::platformName() == QLatin1String("minimal");
    vantrel::CSiteMonitorApp vantrelApp;
    return vantrelApp.InitInstance(headless);
}

// The vantrel executable. A command word (check, list, add, ...) runs here,
// on the plain C++ layers; --help, --version and a mistyped option print
// and end; any other start loads the desktop program's library and runs it.
#include "app/CommandLine.h"
#include "cli/CommandRunner.h"
#include "launch/LibraryEntries.h"
#include "launch/LoadedInstanceLink.h"
#include "launch/ProgramLibrary.h"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // A command runs without a window. check needs nothing of Qt; the folder
    // commands load Qt's local socket when they reach the folder.
    if (argc > 1 && vantrel::CommandRunner::isCommand(argv[1])) {
        const std::vector<std::string> args(argv + 1, argv + argc);
        std::signal(SIGPIPE, SIG_IGN);
        vantrel::LoadedInstanceLink link;
        vantrel::CommandRunner runner(link, std::cout, std::cerr);
        if (args.front() == "check")
            return runner.run(args);
        const int status = runner.run(args);
        std::cout.flush();
        return std::cout.good() ? status : 3;
    }
    // The options are read before anything is loaded, so --help, --version
    // and a mistyped option touch no file and need no display.
    using vantrel::CommandLine;
    const CommandLine line =
        CommandLine::parse(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    if (const std::optional<int> status = line.answer())
        return *status;
    std::string why;
    using DesktopMain = int (*)(int, char**);
    auto desktop = reinterpret_cast<DesktopMain>(
        vantrel::ProgramLibrary::entry(vantrel::library::kDesktopFile, vantrel::library::kDesktopMain, why));
    if (!desktop) {
        std::fprintf(stderr, "vantrel: %s\n", why.c_str());
        return 1;
    }
    return desktop(argc, argv);
}

#include "app/CommandLine.h"

#include <cstdio>

namespace vantrel {

CommandLine CommandLine::parse(const std::vector<std::string>& args) {
    CommandLine line;
    for (const std::string& arg : args) {
        if (arg == "-h" || arg == "--help") {
            line.action_ = Action::Help;
            return line; // help wins over everything after it
        }
        if (arg == "-V" || arg == "--version") {
            line.action_ = Action::Version;
            return line;
        }
        if (arg == "--menu-start") {
            line.action_ = Action::MenuStart;
            continue;
        }
        // Anything else, Qt's own options and plain words included, is refused:
        // an option the program does not know must not be mistaken for one it does.
        line.action_ = Action::UsageError;
        line.rejected_ = arg;
        return line;
    }
    return line;
}

std::string CommandLine::helpText() {
    return "Usage: vantrel [--help | --version]\n"
           "\n"
           "Vantrel is a desktop website monitor. It keeps its site list (vantrel.dat),\n"
           "its settings (vantrel.ini) and its log (vantrel.log) in the folder it is\n"
           "started in. Started from the desktop's menu it runs in $XDG_DATA_HOME/vantrel\n"
           "(~/.local/share/vantrel), or in the home folder when ~/vantrel.dat exists.\n"
           "Without a display it monitors headless. Everything is set in its Preferences\n"
           "dialog; no option changes the settings.\n"
           "\n"
           "  -h, --help      show this help and exit\n"
           "  -V, --version   show the version and exit\n"
           "  --menu-start    run in the menu entry's folder (the desktop entry uses it)\n"
           "\n"
           "The manual: /usr/share/doc/vantrel/manual.html and man vantrel.\n";
}

std::string CommandLine::versionText() {
    return "Vantrel " VANTREL_VERSION "\n";
}

std::string CommandLine::usageText(const std::string& rejected) {
    return "vantrel: unknown option '" + rejected +
           "'\n"
           "Usage: vantrel [--help | --version]\n"
           "Try 'vantrel --help' for more information.\n";
}

std::optional<int> CommandLine::answer() const {
    switch (action_) {
    case Action::Help:
        std::fputs(helpText().c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    case Action::Version:
        std::fputs(versionText().c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    case Action::UsageError:
        std::fputs(usageText(rejected_).c_str(), stderr);
        return kUsageStatus;
    case Action::MenuStart:
    case Action::Run:
        break;
    }
    return std::nullopt;
}

} // namespace vantrel

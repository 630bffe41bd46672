#include "cli/ConsoleMonitorView.h"

#include <ostream>

namespace vantrel {

MessageAnswer ConsoleMonitorView::messageBox(const std::string& text, const std::string& caption,
                                             MessageButtons buttons, MessageIcon) {
    std::string line = text;
    for (char& c : line)
        if (c == '\r' || c == '\n')
            c = ' ';
    err_ << caption << ": " << line << std::endl;
    return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
}

void ConsoleMonitorView::setOffline(bool offline) {
    if (offline)
        err_ << "Offline: no network interface is up, or every site failed the same way." << std::endl;
}

} // namespace vantrel

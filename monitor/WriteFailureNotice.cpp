#include "monitor/WriteFailureNotice.h"

#include "monitor/MonitorView.h"

#include <cstdio>

namespace vantrel {

WriteFailureNotice::WriteFailureNotice(MonitorView* view, std::string caption)
    : view_(view), caption_(std::move(caption)) {}

void WriteFailureNotice::tell(const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", caption_.c_str(), text.c_str());
    std::fflush(stderr);
    if (view_)
        view_->messageBox(text, caption_, MessageButtons::Ok, MessageIcon::Exclamation);
}

void WriteFailureNotice::failed(const std::string& what, const std::string& why) {
    if (failing_)
        return;
    failing_ = true;
    tell("Writing " + what + " failed (" + why +
         "). Vantrel keeps checking and tries again with each check; "
         "it says so when it works again.");
}

void WriteFailureNotice::succeeded(const std::string& what) {
    if (!failing_)
        return;
    failing_ = false;
    tell("Writing " + what + " works again.");
}

} // namespace vantrel

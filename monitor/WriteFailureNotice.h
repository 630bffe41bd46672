#pragma once

#include <string>

namespace vantrel {

class MonitorView;

// Tells the user when writing a file the program keeps (the log, the
// history) fails, and when it works again: once each way, on standard error
// and, given a view, in a box of the window (a run without a display writes
// the window's boxes to standard error too). Between the two nothing more is
// said, however often the writes fail, so a full disk does not stop every
// check at a box. Without a view the window says it its own way (the
// history panel shows "History unavailable").
class WriteFailureNotice {
public:
    WriteFailureNotice(MonitorView* view, std::string caption);

    // The outcome of a write of `what`, the file as the user knows it ("the
    // log vantrel.log"); `why` says what went wrong.
    void failed(const std::string& what, const std::string& why);
    void succeeded(const std::string& what);
    bool failing() const { return failing_; }

private:
    void tell(const std::string& text);

    MonitorView* view_;
    std::string caption_;
    bool failing_ = false;
};

} // namespace vantrel

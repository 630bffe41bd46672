#include "tests/support/FakeMonitorView.h"

#include "monitor/SiteMonitor.h"

namespace vantrel::test {

void FakeMonitorView::gather() {
    if (engine)
        engine->setDialogData(controls);
}

void FakeMonitorView::show() {
    ++showCount;
    if (engine)
        controls = engine->data();
}

MessageAnswer FakeMonitorView::messageBox(const std::string& text, const std::string& caption,
                                          MessageButtons buttons, MessageIcon) {
    Box box{text, caption, buttons};
    boxes.push_back(box);
    if (onBox)
        onBox(box);
    if (!answers.empty()) {
        MessageAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Yes;
}

} // namespace vantrel::test

#pragma once

#include <string>

namespace vantrel {

class Clock;
class SiteMonitor;

// The editing commands of the site list: add, update, remove, clear, load a
// row by a click and sort by a column. Every command works on the engine's
// current entry and rows and talks to the user only through its MonitorView.
// None of them writes the site list file; that happens on save and at exit.
class SiteEditor {
public:
    // `appTitle` is the caption of the two questions (the program's name).
    SiteEditor(SiteMonitor& monitor, Clock& clock, std::string appTitle = "vantrel");

    // The Add command: refuses entries that could not be monitored or
    // notified with a "Warning" box, then AddEntry.
    void OnAdd();
    // Inserts the current entry as a new top row dated today with status
    // "New"; the entry boxes keep what the user typed.
    void AddEntry();
    // True when a row has the current entry's title, URL and test string.
    bool FindDuplicate();
    // Stores the entry boxes into the marked row (not with an empty title).
    void OnUpdate();
    // Deletes the marked row without asking.
    void OnRemove();
    // Empties the entry boxes.
    void OnClear();
    // Asks, then deletes every row.
    void OnClearAll();
    // Loads the marked row into the entry boxes.
    void OnListClick();
    // Sorts ascending by the column, or reverses the rows when they already
    // are ascending by it.
    void SortByColumn(int column);

    static constexpr const char* kWarningCaption = "Warning";
    static constexpr const char* kNoSmtpServer = "Please set SMTP server under Preferences.";
    static constexpr const char* kNoEmail1 =
        "Please set a notification email under Preferences.\r\nThis allows notification emails to be sent";
    static constexpr const char* kNoSender =
        "Please set your name and email under Preferences.\r\nThis allows the "
        "sender of the notification emails to be set.";
    static constexpr const char* kNoAction =
        "Please set your chosen action.\r\nThis allows you to monitor and notify yourself correctly.";
    static constexpr const char* kNoHttp = "Please ensure you include the http:// in your URL to monitor.";
    static constexpr const char* kErrorCaption = "Error";
    static constexpr const char* kBlankEntry =
        "URL or Title Blank.\r\nNo entry added.\r\nPlease add a title and url and try again.";
    static constexpr const char* kDuplicateQuestion =
        "This entry is already in the list.\r\nDo you really want to add this item?";
    static constexpr const char* kClearAllQuestion = "Are you sure that you want to clear list?";
    static constexpr const char* kNewStatus = "New";

private:
    // The first failing Add check's message, or nullptr when all pass.
    const char* addRefusal() const;

    SiteMonitor& monitor_;
    Clock& clock_;
    std::string appTitle_;
};

} // namespace vantrel

#include "monitor/SiteEditor.h"
#include "model/DateText.h"
#include "monitor/SiteMonitor.h"
#include "tests/support/EngineSetup.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeMonitorView.h"

#include <gtest/gtest.h>

#include <regex>

using namespace vantrel;
using vantrel::test::FakeClock;
using vantrel::test::FakeMonitorView;

namespace {

class SiteEditorTest : public ::testing::Test {
protected:
    SiteEditorTest() { view.engine = &engine; }

    // What the user typed into the entry boxes.
    SiteEntry& typed() { return view.controls.entry; }
    void type(std::string title, std::string url, std::string action, std::string testString = "") {
        typed().title = std::move(title);
        typed().url = std::move(url);
        typed().action = std::move(action);
        typed().testString = std::move(testString);
    }
    void addRow(std::string title, std::string status) {
        SiteEntry e;
        e.title = std::move(title);
        e.url = "http://" + e.title;
        e.status = std::move(status);
        test::addSite(engine, e);
    }
    std::vector<std::string> column(int c) const {
        std::vector<std::string> out;
        for (int i = 0; i < engine.sites().rowCount(); ++i)
            out.push_back(engine.sites().row(i).column(c));
        return out;
    }
    void setMailSettings() {
        vantrel::test::editSettings(engine, [](Settings& s, ExtraSettings&) {
            s.smtpServer = "mail.example";
            s.email1 = "me@example";
            s.yourName = "Me";
            s.yourEmail = "me@example";
        });
    }

    FakeMonitorView view;
    SiteMonitor engine{view};
    FakeClock clock;
    SiteEditor editor{engine, clock};
};

using Strings = std::vector<std::string>;

} // namespace

TEST_F(SiteEditorTest, AddChecksRunInOrderAndTheFirstFailureRefuses) {
    struct Case {
        const char* name;
        Settings settings;
        const char* action;
        const char* url;
        const char* expected;
    };
    Settings noServer;
    noServer.email1 = "a@b";
    noServer.yourName = "n";
    noServer.yourEmail = "a@b";
    Settings noEmail1 = noServer;
    noEmail1.smtpServer = "s";
    noEmail1.email1.clear();
    Settings noName = noServer;
    noName.smtpServer = "s";
    noName.yourName.clear();
    Settings noYourEmail = noServer;
    noYourEmail.smtpServer = "s";
    noYourEmail.yourEmail.clear();
    const Case cases[] = {
        {"all mail settings empty", {}, "Email / Sound", "", SiteEditor::kNoSmtpServer},
        {"server empty", noServer, "Email", "http://x", SiteEditor::kNoSmtpServer},
        {"email 1 empty", noEmail1, "Email / URL", "http://x", SiteEditor::kNoEmail1},
        {"your name empty", noName, "Email", "http://x", SiteEditor::kNoSender},
        {"your email empty", noYourEmail, "Email", "http://x", SiteEditor::kNoSender},
        {"action empty before the URL", {}, "", "ftp://x", SiteEditor::kNoAction},
        {"http only in capitals", {}, "Sound", "HTTP://X", SiteEditor::kNoHttp},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        view.boxes.clear();
        engine.applySettings(c.settings, engine.extraSettings());
        type("Site", c.url, c.action);
        editor.OnAdd();
        ASSERT_EQ(view.boxes.size(), 1u);
        EXPECT_EQ(view.boxes[0].text, c.expected);
        EXPECT_EQ(view.boxes[0].caption, "Warning");
        EXPECT_EQ(view.boxes[0].buttons, MessageButtons::Ok);
        EXPECT_EQ(engine.sites().rowCount(), 0);
    }
    EXPECT_EQ(
        std::string(SiteEditor::kNoEmail1),
        "Please set a notification email under Preferences.\r\nThis allows notification emails to be sent");
}

TEST_F(SiteEditorTest, ActionsWithoutCapitalEmailNeedNoMailSettings) {
    for (const char* action : {"email", "Sound", "URL / Sound"}) {
        type(std::string("Site ") + action, "see http://x", action);
        editor.OnAdd();
    }
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_EQ(column(0), (Strings{"Site URL / Sound", "Site Sound", "Site email"}));
    EXPECT_EQ(engine.data().siteCount, 3);
    EXPECT_EQ(view.controls.siteCount, 3);
}

TEST_F(SiteEditorTest, BlankTitlePassesTheChecksButIsRefusedAsAnError) {
    setMailSettings();
    type("", "http://x", "Email");
    editor.OnAdd();
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].caption, "Error");
    EXPECT_EQ(view.boxes[0].text,
              "URL or Title Blank.\r\nNo entry added.\r\nPlease add a title and url and try again.");
    EXPECT_EQ(engine.sites().rowCount(), 0);
}

TEST_F(SiteEditorTest, NewRowGetsTodayAndNewWhileTheBoxesKeepWhatWasTyped) {
    type("Site", "http://x", "Sound", "needle");
    typed().errorUrl = "http://err";
    typed().checkDate = "01 Jan 2026 10:00:00"; // left by a row loaded earlier
    typed().status = "OK";
    editor.OnAdd();
    ASSERT_EQ(engine.sites().rowCount(), 1);
    const SiteEntry& row = engine.sites().row(0);
    EXPECT_EQ(row.createDate, DateText::date(clock.now()));
    EXPECT_TRUE(std::regex_match(row.createDate, std::regex("[0-3][0-9] [A-Z][a-z]{2} [0-9]{4}")));
    EXPECT_EQ(row.status, "New");
    EXPECT_EQ(row.checkDate, "01 Jan 2026 10:00:00");
    EXPECT_EQ(row.errorUrl, "http://err");
    EXPECT_EQ(row.testString, "needle");
    EXPECT_EQ(typed().createDate, "");
    EXPECT_EQ(typed().status, "OK");
    EXPECT_EQ(typed().title, "Site");
    EXPECT_GE(view.autoSizes, 1);
}

TEST_F(SiteEditorTest, SameTitleUrlAndTestStringAsksAndOnlyYesAdds) {
    type("Site", "http://x", "Sound", "a");
    editor.OnAdd();
    ASSERT_TRUE(view.boxes.empty());

    view.answers = {MessageAnswer::No};
    editor.OnAdd();
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text,
              "This entry is already in the list.\r\nDo you really want to add this item?");
    EXPECT_EQ(view.boxes[0].caption, "vantrel");
    EXPECT_EQ(view.boxes[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(engine.sites().rowCount(), 1);

    view.answers = {MessageAnswer::Yes};
    editor.OnAdd();
    EXPECT_EQ(view.boxes.size(), 2u);
    EXPECT_EQ(column(0), (Strings{"Site", "Site"}));

    typed().testString = "b"; // another test string: no question
    typed().action = "URL";   // the action plays no part
    editor.OnAdd();
    EXPECT_EQ(view.boxes.size(), 2u);
    EXPECT_EQ(column(2), (Strings{"b", "a", "a"}));
}

TEST_F(SiteEditorTest, StatusClicksSortAscendingThenReverse) {
    addRow("c", "404");
    addRow("b", "New");
    addRow("a", "OK"); // top to bottom: OK, New, 404
    type("typed", "http://typed", "Sound");
    editor.SortByColumn(7);
    EXPECT_EQ(column(7), (Strings{"404", "New", "OK"}));
    EXPECT_EQ(column(0), (Strings{"c", "b", "a"}));
    EXPECT_EQ(view.controls.siteCount, 3);
    EXPECT_EQ(typed().title, "typed"); // gathered before the show
    editor.SortByColumn(7);
    EXPECT_EQ(column(7), (Strings{"OK", "New", "404"}));
}

TEST_F(SiteEditorTest, UpdateWritesTheRowAtTheMarkedPosition) {
    addRow("c", "404");
    addRow("b", "New");
    addRow("a", "OK");
    view.marked = 0; // "a" sits there until the sort
    editor.SortByColumn(7);
    type("changed", "", "");
    typed().status = "Typed";
    editor.OnUpdate();
    EXPECT_EQ(column(0), (Strings{"changed", "b", "a"}));
    EXPECT_EQ(engine.sites().row(0).url, ""); // an empty URL is stored as it is
    EXPECT_EQ(engine.sites().row(0).status, "Typed");

    typed().title = ""; // an empty title writes nothing
    typed().url = "http://other";
    editor.OnUpdate();
    EXPECT_EQ(column(0), (Strings{"changed", "b", "a"}));
    EXPECT_EQ(engine.sites().row(0).url, "");

    view.marked = -1; // no marked row: nothing changes
    type("again", "http://again", "");
    editor.OnUpdate();
    EXPECT_EQ(column(0), (Strings{"changed", "b", "a"}));
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(SiteEditorTest, RemoveDeletesOnlyTheMarkedRowAndKeepsTheBoxes) {
    addRow("c", "");
    addRow("b", "");
    addRow("a", "");
    engine.updateSiteCount();
    view.marked = 1;
    editor.OnListClick();
    typed().testString = "typed after the click";
    editor.OnRemove();
    EXPECT_EQ(column(0), (Strings{"a", "c"}));
    EXPECT_EQ(view.controls.siteCount, 2);
    EXPECT_EQ(typed().title, "b");
    EXPECT_EQ(typed().testString, "typed after the click");
    EXPECT_TRUE(view.boxes.empty());

    view.marked = -1;
    editor.OnRemove();
    EXPECT_EQ(engine.sites().rowCount(), 2);
}

TEST_F(SiteEditorTest, ListClickLoadsTheMarkedRowOnlyWhenThereIsOne) {
    addRow("b", "404");
    addRow("a", "OK");
    type("typed", "http://typed", "Sound");
    editor.OnListClick(); // nothing marked yet
    EXPECT_EQ(typed().title, "typed");
    view.marked = 1;
    editor.OnListClick();
    EXPECT_EQ(typed(), engine.sites().row(1));
}

TEST_F(SiteEditorTest, ClearAllAsksAndKeepsTheEntryBoxes) {
    addRow("b", "");
    addRow("a", "");
    type("typed", "http://typed", "Sound");
    view.answers = {MessageAnswer::No};
    editor.OnClearAll();
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, "Are you sure that you want to clear list?");
    EXPECT_EQ(view.boxes[0].caption, "vantrel");
    EXPECT_EQ(view.boxes[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(engine.sites().rowCount(), 2);
    EXPECT_EQ(view.controls.siteCount, 2);

    view.answers = {MessageAnswer::Yes};
    editor.OnClearAll();
    EXPECT_EQ(engine.sites().rowCount(), 0);
    EXPECT_EQ(view.controls.siteCount, 0);
    EXPECT_EQ(typed().title, "typed");
}

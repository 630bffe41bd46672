#include "ui/ChannelsPage.h"
#include "tests/support/HttpTestServer.h"
#include "ui/ChannelDialog.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace vantrel;
using vantrel::test::HttpTestServer;

namespace {

template <typename T> T* byName(QWidget& w, const QString& name) {
    for (T* c : w.findChildren<T*>())
        if (c->accessibleName() == name)
            return c;
    return nullptr;
}

void fill(ChannelDialog& d, int kind, const QString& endpoint, const QString& token,
          const QString& tmpl = {}) {
    byName<QComboBox>(d, "Kind:")->setCurrentIndex(kind);
    byName<QLineEdit>(d, "Endpoint:")->setText(endpoint);
    byName<QLineEdit>(d, "Token:")->setText(token);
    byName<QPlainTextEdit>(d, "Template:")->setPlainText(tmpl);
}

bool waitForTest(ChannelsPage& page) {
    return QTest::qWaitFor([&] { return !page.testRunning() && !page.answer().startsWith("Sending"); },
                           40000);
}

} // namespace

// Add a webhook: a template that is no JSON is refused with the reason and
// the dialog stays; mended, it is taken, its token goes to the keeper, and
// the settings come back with the new channel. Send Test shows the
// service's answer, success and failure alike; Remove takes it away.
TEST(ChannelsPage, AddRefuseSendTestAndRemove) {
    std::map<std::string, std::string> kept;
    ChannelsPage::setSecrets({[&](const std::string& key) { return kept[key]; },
                              [&](const std::string& key, const std::string& s) { kept[key] = s; }});
    HttpTestServer server(true);
    server.routeInTurn("/hook", {HttpTestServer::ok("thanks"),
                                 HttpTestServer::status(401, "Unauthorized", "{\"error\":\"no\"}")});

    ChannelsPage page;
    ExtraSettings in;
    in.channels = {{1, "ntfy https://ntfy.sh/x"}};
    in.remindEvery = 30;
    page.copyIn(in);
    auto* list = byName<QListWidget>(page, "Channels");
    ASSERT_EQ(list->count(), 1);
    EXPECT_FALSE(byName<QPushButton>(page, "Send Test")->isEnabled());

    byName<QPushButton>(page, "Add...")->click();
    ChannelDialog* d = page.openDialog();
    ASSERT_NE(d, nullptr);
    // Every field is named by its label.
    for (QLabel* l : d->findChildren<QLabel*>())
        if (l->buddy()) {
            EXPECT_EQ(l->buddy()->accessibleName(), l->text());
        }
    fill(*d, 6, QString::fromStdString(server.url("/hook")), "s3cret", R"({"site": {title}})");
    d->accept();
    EXPECT_TRUE(d->isVisible());
    EXPECT_TRUE(d->problem().contains("placeholder inside a JSON string")) << d->problem().toStdString();
    fill(*d, 6, "ftp://x", "s3cret");
    d->accept();
    EXPECT_TRUE(d->problem().contains("http://")) << d->problem().toStdString();
    fill(*d, 6, QString::fromStdString(server.url("/hook")), "s3cret",
         "{\"site\": \"{title}\",\n \"s\": \"{state}\"}");
    d->accept();
    ASSERT_TRUE(QTest::qWaitFor([&] { return page.openDialog() == nullptr; }, 5000));
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->currentItem()->text().toStdString(), "2  webhook " + server.url("/hook"));
    EXPECT_EQ(kept["channel:webhook:" + server.url("/hook")], "s3cret");

    ExtraSettings out;
    page.copyOut(out);
    EXPECT_EQ(out.channels.at(2), "webhook " + server.url("/hook"));
    EXPECT_EQ(out.channelTemplates.at(2), "{\"site\": \"{title}\",  \"s\": \"{state}\"}");
    EXPECT_EQ(out.remindEvery, 30);

    byName<QPushButton>(page, "Send Test")->click();
    ASSERT_TRUE(waitForTest(page));
    EXPECT_EQ(page.answer().toStdString(), "Delivered: HTTP 200: thanks");
    const std::string request = server.lastRequest();
    EXPECT_NE(request.find("\r\nAuthorization: Bearer s3cret\r\n"), std::string::npos) << request;
    EXPECT_NE(request.find("{\"site\": \"Vantrel Test\",  \"s\": \"down\"}"), std::string::npos) << request;
    byName<QPushButton>(page, "Send Test")->click();
    ASSERT_TRUE(waitForTest(page));
    EXPECT_EQ(page.answer().toStdString(), "Failed: HTTP 401: {\"error\":\"no\"}");

    byName<QPushButton>(page, "Remove")->click();
    page.copyOut(out);
    EXPECT_EQ(out.channels.size(), 1u);
    EXPECT_TRUE(out.channelTemplates.empty());
    ChannelsPage::setSecrets({});
}

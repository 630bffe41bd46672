#include "ui/TrayBadge.h"
#include "model/DateText.h"
#include "model/SiteList.h"
#include "monitor/TrayDigest.h"
#include "ui/TrayIcon.h"

#include <QFontMetrics>
#include <QMenu>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace vantrel;

namespace {

int countPixels(const QImage& image, const QRect& area, const std::function<bool(QColor)>& test) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += test(image.pixelColor(x, y)) ? 1 : 0;
    return n;
}

bool near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
           std::abs(a.blue() - b.blue()) < 40;
}

} // namespace

// At every tray size the count sits whole inside its pill, in white on the
// pill's colour, large enough to read, and the picture beneath still shows.
TEST(TrayBadge, CountFitsItsPillAndReadsAtEveryTraySize) {
    for (int size : TrayBadge::kSizes) {
        QImage base(size, size, QImage::Format_ARGB32_Premultiplied);
        base.fill(QColor(0x40, 0xa0, 0x40));
        for (int count : {1, 8, 12, 100}) {
            const QString text = TrayBadge::label(count);
            const QImage image = TrayBadge::draw(base, size, count, TrayBadge::kDownColour);
            ASSERT_EQ(image.size(), QSize(size, size));
            const QRect pill = TrayBadge::pillRect(size, text);
            EXPECT_TRUE(QRect(0, 0, size, size).contains(pill)) << size << " " << count;
            const int white = countPixels(image, pill, [](QColor c) { return c.lightness() > 200; });
            const int red =
                countPixels(image, pill, [](QColor c) { return near(c, TrayBadge::kDownColour); });
            EXPECT_GT(white, 4) << size << " " << count;
            EXPECT_GT(red, 4) << size << " " << count;
            // The picture is left uncovered in its upper left.
            EXPECT_TRUE(near(image.pixelColor(1, 1), QColor(0x40, 0xa0, 0x40))) << size;
        }
        // A single digit takes at least 6 pixels' height even at 16.
        EXPECT_GE(TrayBadge::pillRect(size, QStringLiteral("8")).height(), 7) << size;
    }
    EXPECT_EQ(TrayBadge::label(100), "99+");
}

TEST(TrayBadge, NoFailureLeavesTheIconAndSlowAloneIsBlue) {
    QImage base(32, 32, QImage::Format_ARGB32_Premultiplied);
    base.fill(Qt::gray);
    const QIcon icon(QPixmap::fromImage(base));
    EXPECT_EQ(TrayBadge::badged(icon, 0, 0).cacheKey(), icon.cacheKey());
    const QIcon slow = TrayBadge::badged(icon, 0, 3);
    for (int size : TrayBadge::kSizes)
        EXPECT_TRUE(slow.availableSizes().contains(QSize(size, size))) << size;
    const QImage slow32 = slow.pixmap(32, 32).toImage();
    const QRect pill = TrayBadge::pillRect(32, QStringLiteral("3"));
    EXPECT_GT(countPixels(slow32, pill, [](QColor c) { return near(c, TrayBadge::kSlowColour); }), 20);
    EXPECT_EQ(countPixels(slow32, pill, [](QColor c) { return near(c, TrayBadge::kDownColour); }), 0);
}

// The failing sites head the menu and the tip; the three entries of old keep
// their order at the end; choosing a site or a snooze says which.
TEST(TrayIconTriage, FailingSitesInMenuAndTipThenActionsThenTheOldEntries) {
    const std::time_t now = *DateText::parseDateTime("10 Dec 2026 12:00:00");
    SiteList list;
    SiteEntry shop{"Shop & Co", "http://127.0.0.1:1/", "", "", "", "", "10 Dec 2026 11:00:00", "404"};
    shop.reason = "DNS: no such host";
    list.insertAtTop(SiteEntry{"Fine", "http://127.0.0.1:2/", "", "", "", "", "", "OK"});
    list.insertAtTop(shop);
    TrayDigest digest;
    digest.update(list, now);

    TrayIcon tray;
    tray.add();
    tray.showAlert();
    tray.setNotice(QStringLiteral("Mail failed"));
    tray.setDigest(digest, now);
    EXPECT_EQ(tray.toolTip(), "Vantrel\nShop & Co: DNS: no such host, since 11:00\nMail failed");
    EXPECT_EQ(tray.badgeCount(), 1);
    QStringList items;
    for (QAction* a : tray.menu()->actions())
        if (a->isVisible())
            items << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(items, (QStringList{"Shop && Co: DNS: no such host", "-", "Check all now", "Snooze alerts", "-",
                                  "&Help", "&Quit", "&Preferences"}));

    QSignalSpy chosen(&tray, &TrayIcon::siteChosen);
    QSignalSpy snoozed(&tray, &TrayIcon::snoozeAllRequested);
    QSignalSpy checkAll(&tray, &TrayIcon::checkAllRequested);
    tray.siteActions().at(0)->trigger();
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen[0][0].toString(), "Shop & Co");
    EXPECT_EQ(chosen[0][1].toString(), "http://127.0.0.1:1/");
    tray.snoozeMenu()->actions().at(2)->trigger();
    ASSERT_EQ(snoozed.count(), 1);
    EXPECT_EQ(snoozed[0][0].toInt(), 2);
    tray.checkAllAction()->trigger();
    EXPECT_EQ(checkAll.count(), 1);

    // Past the bound the menu says how many more fail.
    for (int i = 0; i < 6; ++i)
        list.insertAtTop(
            SiteEntry{"S" + std::to_string(i), "http://127.0.0.1:3/", "", "", "", "", "", "404"});
    digest.update(list, now);
    tray.setDigest(digest, now);
    EXPECT_EQ(tray.siteActions().size(), TrayDigest::kMaxListed);
    const QList<QAction*> shown = tray.menu()->actions();
    const auto more = std::find_if(shown.begin(), shown.end(),
                                   [](QAction* a) { return a->isVisible() && a->text() == "and 2 more"; });
    ASSERT_NE(more, shown.end());
    EXPECT_FALSE((*more)->isEnabled());
    for (int i = 0; i < 6; ++i)
        list.removeRow(0);

    // All well again: the sites leave the menu and the tip, the badge goes.
    list.setRow(0, SiteEntry{"Shop & Co", "http://127.0.0.1:1/", "", "", "", "", "", "OK"});
    digest.update(list, now);
    tray.setDigest(digest, now);
    EXPECT_EQ(tray.toolTip(), "Vantrel\nMail failed");
    EXPECT_EQ(tray.badgeCount(), 0);
    EXPECT_TRUE(tray.siteActions().empty());
    tray.remove();
}

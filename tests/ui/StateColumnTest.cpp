#include "model/DateText.h"
#include "model/ExtraSettings.h"
#include "model/SiteList.h"
#include "tests/support/FakeClock.h"
#include "ui/SiteListModel.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

using namespace vantrel;

namespace {

// The mark as one who tells no colours apart sees it: its lightness on the
// list's white.
QImage shapeOf(const QIcon& icon) {
    QImage image(SiteListModel::kMarkSize, SiteListModel::kMarkSize, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.drawPixmap(0, 0, icon.pixmap(SiteListModel::kMarkSize, SiteListModel::kMarkSize));
    painter.end();
    return image.convertToFormat(QImage::Format_Grayscale8);
}

int differingPixels(const QImage& a, const QImage& b) {
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            n += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))) > 60 ? 1 : 0;
    return n;
}

} // namespace

// Up, down, slow, snoozed and not yet checked differ by shape, not by colour
// alone; the columns keep their order and texts, the tip says the state and why.
TEST(StateColumn, EachStateHasAShapeOfItsOwnAndItsReasonAsTip) {
    const std::vector<std::pair<SiteStateKind, std::string>> states = {
        {SiteStateKind::Up, "OK"},          {SiteStateKind::Down, "404"},
        {SiteStateKind::Slow, "Slow"},      {SiteStateKind::Snoozed, "404"},
        {SiteStateKind::NotChecked, "New"}, {SiteStateKind::Down, "Bad - JSON"}};
    std::vector<QImage> shapes;
    for (const auto& [state, status] : states) {
        const QIcon mark = SiteListModel::stateMark(state, status);
        ASSERT_FALSE(mark.isNull()) << status;
        shapes.push_back(shapeOf(mark));
    }
    for (std::size_t i = 0; i < 5; ++i)
        for (std::size_t j = i + 1; j < 5; ++j)
            EXPECT_GT(differingPixels(shapes[i], shapes[j]), 8) << i << " and " << j;
    // A failure of any other text still shows as down.
    EXPECT_EQ(differingPixels(shapes[5], shapes[1]), 0);

    test::FakeClock clock;
    clock.set(*DateText::parseDateTime("10 Dec 2026 12:00:00"));
    ExtraSettings settings;
    SiteList list;
    SiteEntry shop{"Shop", "http://127.0.0.1:1/", "", "", "", "", "", "404"};
    shop.reason = "HTTP 503 (expected 200-299)";
    list.insertAtTop(shop);
    SiteListModel model(list);
    const QModelIndex title = model.index(0, SiteListModel::kTitleColumn);
    EXPECT_EQ(model.data(title, Qt::DisplayRole).toString(), "Shop");
    EXPECT_EQ(model.data(title, Qt::ToolTipRole).toString(), "Shop\nDown: HTTP 503 (expected 200-299)");
    EXPECT_EQ(model.columnCount(), 8);
    EXPECT_EQ(SiteListModel::headerText(0), "Site Title");
    EXPECT_EQ(SiteListModel::headerText(7), "Status");

    // Snoozed for all: the mark and the tip say so, with its end.
    settings.snoozeAll = "10 Dec 2026 18:00:00";
    model.setSnoozeContext(&settings, &clock);
    EXPECT_EQ(shapeOf(model.data(title, Qt::DecorationRole).value<QIcon>()), shapes[3]);
    EXPECT_EQ(model.data(title, Qt::AccessibleDescriptionRole).toString(),
              "Snoozed until 10 Dec 2026 18:00:00\nDown: HTTP 503 (expected 200-299)");
    clock.set(*DateText::parseDateTime("10 Dec 2026 18:00:01"));
    EXPECT_EQ(shapeOf(model.data(title, Qt::DecorationRole).value<QIcon>()), shapes[1]);
}

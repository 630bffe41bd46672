#include "model/SiteList.h"
#include "ui/SiteListModel.h"

#include <gtest/gtest.h>

#include <random>

using namespace vantrel;

namespace {

int bruteWidest(const SiteList& list, int c) {
    int w = 0;
    for (int i = 0; i < list.rowCount(); ++i)
        w = std::max(w, static_cast<int>(list.row(i).column(c).size()));
    return w;
}

} // namespace

// Whatever happens to the rows, the kept widths equal sizing every column
// from scratch over all rows.
TEST(ColumnWidths, FollowEveryChangeOfTheRows) {
    SiteList list;
    SiteListModel model(list);
    int measured = 0;
    model.widths().setMeasure([&](const std::string& s) {
        ++measured;
        return static_cast<int>(s.size());
    });
    std::mt19937 rng(7);
    auto text = [&](int maxLen) { return std::string(rng() % static_cast<unsigned>(maxLen + 1), 'x'); };
    auto entry = [&] {
        SiteEntry e;
        for (int c = 0; c < SiteEntry::kColumnCount; ++c)
            e.column(c) = text(40);
        return e;
    };
    std::vector<SiteEntry> load;
    for (int i = 0; i < 300; ++i)
        load.push_back(entry());
    list.insertAllAtTop(load);
    for (int step = 0; step < 2000; ++step) {
        const int n = list.rowCount();
        switch (rng() % 6) {
        case 0:
            list.insertAtTop(entry());
            break;
        case 1:
            if (n)
                list.removeRow(static_cast<int>(rng() % static_cast<unsigned>(n)));
            break;
        case 2:
            if (n)
                list.setRow(static_cast<int>(rng() % static_cast<unsigned>(n)), entry());
            break;
        case 3:
            list.sortByColumn(static_cast<int>(rng() % 8));
            break;
        case 4:
            list.reverseRows();
            break;
        default:
            if (rng() % 50 == 0)
                list.clear();
            break;
        }
        for (int c = 0; c < SiteEntry::kColumnCount; ++c)
            ASSERT_EQ(model.widths().widest(c), bruteWidest(list, c)) << "step " << step << " column " << c;
    }
    // Texts already measured are not measured again after a sort.
    const int before = measured;
    list.sortByColumn(1);
    EXPECT_EQ(measured, before);
}

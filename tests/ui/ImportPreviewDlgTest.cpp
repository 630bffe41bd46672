#include "ui/ImportPreviewDlg.h"
#include "model/SiteList.h"
#include "tests/support/TempDir.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <cstdlib>

using namespace vantrel;

namespace {

const char* kBookmarks = R"HTML(<!DOCTYPE NETSCAPE-Bookmark-file-1>
<DL><p>
<DT><H3>Bar</H3>
<DL><p>
<DT><A HREF="https://news.example/">News</A>
<DT><H3>Work</H3>
<DL><p>
<DT><A HREF="https://ci.example/">CI</A>
<DT><A HREF="javascript:void(0)">Bookmarklet</A>
<DT><A HREF="https://shop.example/">Shop again</A>
</DL><p>
</DL><p>
</DL><p>
)HTML";

QPushButton* importButton(QWidget& dlg) {
    for (QPushButton* b : dlg.findChildren<QPushButton*>())
        if (b->accessibleName() == QStringLiteral("Import"))
            return b;
    return nullptr;
}

std::vector<QString> column(QTreeWidget* view, int c) {
    std::vector<QString> out;
    for (int i = 0; i < view->topLevelItemCount(); ++i)
        out.push_back(view->topLevelItem(i)->text(c));
    return out;
}

} // namespace

TEST(ImportPreviewDlg, ShowsEachRowsFateAndNarrowsBookmarksToAFolder) {
    test::TempDir dir;
    test::TempDir::writeFile("bookmarks.html", kBookmarks);
    SiteList list;
    list.insertAtTop(SiteEntry("Shop", "https://shop.example/", "", "Email", "", "01 Dec 2026", "", "OK"));
    ImportPreviewDlg dlg(list, QStringLiteral("bookmarks.html"), "10 Dec 2026");
    EXPECT_TRUE(dlg.folderBox()->isVisibleTo(&dlg));
    EXPECT_EQ(dlg.folderBox()->accessibleName(), QStringLiteral("Folder:"));
    EXPECT_EQ(column(dlg.rowView(), 0), (std::vector<QString>{"New", "New", "Invalid", "Already present"}));
    EXPECT_EQ(dlg.summaryText(), QStringLiteral("bookmarks: 2 new, 1 already present, 1 invalid."));
    EXPECT_EQ(dlg.rowView()->topLevelItem(2)->text(4), QStringLiteral("not an http:// or https:// URL"));
    EXPECT_EQ(dlg.rowView()->topLevelItem(3)->text(4), QStringLiteral("in the list"));

    dlg.folderBox()->setCurrentIndex(dlg.folderBox()->findText(QStringLiteral("Bar / Work")));
    EXPECT_EQ(column(dlg.rowView(), 2), (std::vector<QString>{"CI", "Bookmarklet", "Shop again"}));
    ASSERT_TRUE(importButton(dlg));
    EXPECT_TRUE(importButton(dlg)->isEnabled());
    if (const char* shot = std::getenv("VANTREL_SCREENSHOT")) {
        dlg.show();
        dlg.grab().save(QString::fromLocal8Bit(shot));
    }
    ASSERT_EQ(dlg.plan().newSites().size(), 1u);
    list.insertAllAtTop(dlg.plan().newSites());
    EXPECT_EQ(list.row(0).url, "https://ci.example/");
    EXPECT_EQ(list.row(1).title, "Shop");
}

TEST(ImportPreviewDlg, AGarbageFileNamesTheLineAndImportsNothing) {
    test::TempDir dir;
    test::TempDir::writeFile("garbage.txt", std::string("https://a.example/\n\x01\x02\x03\n", 23));
    SiteList list;
    ImportPreviewDlg dlg(list, QStringLiteral("garbage.txt"), "10 Dec 2026");
    EXPECT_EQ(dlg.rowView()->topLevelItemCount(), 0);
    EXPECT_EQ(dlg.summaryText(), QStringLiteral("Nothing can be imported: line 2: binary data, not text."));
    EXPECT_FALSE(importButton(dlg)->isEnabled());
    EXPECT_FALSE(dlg.folderBox()->isVisibleTo(&dlg));
    ImportPreviewDlg missing(list, QStringLiteral("no-such-file"), "10 Dec 2026");
    EXPECT_FALSE(importButton(missing)->isEnabled());
}

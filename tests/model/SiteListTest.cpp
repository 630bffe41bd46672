#include "model/SiteList.h"

#include <gtest/gtest.h>

using namespace vantrel;

namespace {

SiteEntry site(std::string title, std::string status = "", std::string url = "http://x") {
    SiteEntry e;
    e.title = std::move(title);
    e.url = std::move(url);
    e.status = std::move(status);
    return e;
}

std::vector<std::string> column(const SiteList& l, int c) {
    std::vector<std::string> out;
    for (int i = 0; i < l.rowCount(); ++i)
        out.push_back(l.row(i).column(c));
    return out;
}

} // namespace

TEST(SiteList, SortAscendsThenReversesOnRepeatedClicks) {
    SiteList l;
    for (auto s : {"404", "New", "OK"})
        l.insertAtTop(site("t", s)); // top to bottom: OK, New, 404
    EXPECT_TRUE(l.sortByColumn(7));
    EXPECT_EQ(column(l, 7), (std::vector<std::string>{"404", "New", "OK"}));
    EXPECT_FALSE(l.sortByColumn(7)); // already ascending: reversed
    EXPECT_EQ(column(l, 7), (std::vector<std::string>{"OK", "New", "404"}));
    EXPECT_TRUE(l.sortByColumn(7));
    EXPECT_EQ(column(l, 7), (std::vector<std::string>{"404", "New", "OK"}));
}

TEST(SiteList, SortIsStableAndComparesUnsignedBytes) {
    SiteList l;
    l.insertAtTop(site("b", "\xe9"));
    l.insertAtTop(site("a2", "z"));
    l.insertAtTop(site("a1", "10"));
    l.insertAtTop(site("c", "9"));
    l.insertAtTop(site("a0", "z"));
    // top to bottom: a0 z, c 9, a1 10, a2 z, b é
    l.sortByColumn(7);
    EXPECT_EQ(column(l, 7), (std::vector<std::string>{"10", "9", "z", "z", "\xe9"}));
    EXPECT_EQ(column(l, 0), (std::vector<std::string>{"a1", "c", "a0", "a2", "b"}));
}

TEST(SiteList, AllEqualColumnReversesOnEveryClick) {
    SiteList l;
    l.insertAtTop(site("1"));
    l.insertAtTop(site("2"));
    l.insertAtTop(site("3"));
    l.sortByColumn(7);
    EXPECT_EQ(column(l, 0), (std::vector<std::string>{"1", "2", "3"}));
    l.sortByColumn(7);
    EXPECT_EQ(column(l, 0), (std::vector<std::string>{"3", "2", "1"}));
}

TEST(SiteList, FindDuplicateLooksAtTitleUrlAndTestStringOnly) {
    SiteList l;
    SiteEntry a = site("A", "OK");
    a.testString = "x";
    l.insertAtTop(a);
    SiteEntry probe = a;
    probe.status = "New";
    probe.action = "Email";
    EXPECT_EQ(l.findDuplicate(probe), 0);
    probe.testString = "y";
    EXPECT_EQ(l.findDuplicate(probe), -1);
}

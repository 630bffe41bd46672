#include "model/SiteListFile.h"

#include <gtest/gtest.h>

using namespace vantrel;

namespace {

SiteEntry full(const std::string& p) {
    return SiteEntry{p + "title", "http://" + p, p + "test", "Email", p + "err", "01 Jan 2026",
                     "02 Jan 2026 03:04:05", "OK"};
}

SiteList roundTrip(const SiteList& in) {
    SiteEntry work;
    SiteList out;
    out.insertAllAtTop(SiteListFile::parse(SiteListFile::serialize(in), work));
    return out;
}

} // namespace

TEST(SiteListFile, EmptyListIsZeroBytes) {
    EXPECT_EQ(SiteListFile::serialize(SiteList{}), "");
    SiteEntry work;
    EXPECT_TRUE(SiteListFile::parse("", work).empty());
}

TEST(SiteListFile, LayoutIsByteExactBottomRowFirst) {
    SiteList l;
    l.insertAtTop(full("B"));
    l.insertAtTop(full("A")); // A on top
    const std::string expected = "CREATOR=Vantrel 1.0\r\n"
                                 "ST=Btitle\r\nURL=http://B\r\nTESTSTRING=Btest\r\nCREATE=01 Jan 2026\r\n"
                                 "CHECK=02 Jan 2026 03:04:05\r\nURLEMAIL=Berr\r\nACTION=Email\r\nSTATUS=OK\r\n"
                                 "\r\n"
                                 "ST=Atitle\r\nURL=http://A\r\nTESTSTRING=Atest\r\nCREATE=01 Jan 2026\r\n"
                                 "CHECK=02 Jan 2026 03:04:05\r\nURLEMAIL=Aerr\r\nACTION=Email\r\nSTATUS=OK\r\n";
    EXPECT_EQ(SiteListFile::serialize(l), expected);
}

TEST(SiteListFile, RoundTripKeepsOrderAndEqualsSignsButDropsTrailingBlanks) {
    SiteList l;
    l.insertAtTop(full("C"));
    SiteEntry b = full("B");
    b.title = "a=b";
    b.testString = "  lead and trail \t ";
    l.insertAtTop(b);
    l.insertAtTop(full("A"));
    SiteList back = roundTrip(l);
    ASSERT_EQ(back.rowCount(), 3);
    EXPECT_EQ(back.row(0), full("A"));
    EXPECT_EQ(back.row(1).title, "a=b");
    EXPECT_EQ(back.row(1).testString, "  lead and trail");
    EXPECT_EQ(back.row(2), full("C"));
}

TEST(SiteListFile, ReaderQuirks) {
    // Missing key carries over; an "ST" line with leading space or lower-case
    // key is ignored; LF-only line ends; a record with an empty URL is dropped.
    const std::string text = "CREATOR=Vantrel 1.0\n"
                             "ST=one\nURL=http://1\nTESTSTRING=carried\nSTATUS=OK\n\n"
                             "ST=two\nURL=http://2\n st=ignored\nst=ignored\nSTATUS=404\n\n"
                             "ST=three\nURL=\n\n"
                             "ST=four\nURL=http://4\nSTATUS=New\n";
    SiteEntry work;
    auto records = SiteListFile::parse(text, work);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].title, "one");
    EXPECT_EQ(records[1].title, "two");
    EXPECT_EQ(records[1].testString, "carried");
    EXPECT_EQ(records[1].status, "404");
    EXPECT_EQ(records[2].title, "four");
    EXPECT_EQ(records[2].url, "http://4");
}

TEST(SiteListFile, LastLineWithoutLineEndIsIgnored) {
    SiteEntry work;
    auto two = SiteListFile::parse("ST=a\r\nURL=http://a\r\nSTATUS=OK\r\n\r\nST=b\r\nURL=http://b\r\nSTATUS=404", work);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[1].status, "OK"); // carried from the record before
    SiteEntry fresh;
    auto one = SiteListFile::parse("ST=a\r\nURL=http://a\r\nSTATUS=OK", fresh);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].status, "");
}

TEST(SiteListFile, GarbageNeverCrashes) {
    std::string garbage;
    for (int i = 0; i < 5000; ++i)
        garbage += static_cast<char>((i * 7919) & 0xff);
    garbage += std::string(3 << 20, 'x'); // a line of megabytes, no line end
    SiteEntry work;
    EXPECT_NO_THROW(SiteListFile::parse(garbage, work));
    std::string withNul = std::string("ST=a\0b\nURL=http://\0\n", 20);
    SiteEntry w2;
    auto r = SiteListFile::parse(withNul, w2);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].title, std::string("a\0b", 3));
}

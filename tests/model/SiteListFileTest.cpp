#include "model/SiteListFile.h"

#include <gtest/gtest.h>

using namespace vantrel;

namespace {

SiteEntry full(const std::string& p) {
    return SiteEntry{p + "title",   "http://" + p,          p + "test", "Email", p + "err",
                     "01 Jan 2026", "02 Jan 2026 03:04:05", "OK"};
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
    const std::string expected =
        "CREATOR=Vantrel 1.0\r\n"
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
    auto two = SiteListFile::parse(
        "ST=a\r\nURL=http://a\r\nSTATUS=OK\r\n\r\nST=b\r\nURL=http://b\r\nSTATUS=404", work);
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

namespace {

// The reader as it was before options: eight keys, each carried over to the
// next record when missing, every other key ignored.
std::vector<SiteEntry> eightKeyReader(std::string_view bytes) {
    std::vector<SiteEntry> out;
    SiteEntry e;
    std::string_view rest = bytes;
    auto flush = [&] {
        if (!e.title.empty() && !e.url.empty())
            out.push_back(e);
    };
    bool first = true;
    while (true) {
        const size_t lf = rest.find('\n');
        if (lf == std::string_view::npos)
            break;
        std::string_view line = rest.substr(0, lf);
        rest.remove_prefix(lf + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.remove_suffix(1);
        const size_t eq = line.find('=');
        const std::string key(line.substr(0, eq));
        const std::string value(eq == std::string_view::npos ? std::string_view() : line.substr(eq + 1));
        if (key == "ST") {
            if (!first && !e.title.empty())
                flush();
            e.title = value;
        }
        for (int c = 1; c < SiteEntry::kColumnCount; ++c) {
            static const char* const keys[] = {"ST",       "URL",    "TESTSTRING", "ACTION",
                                               "URLEMAIL", "CREATE", "CHECK",      "STATUS"};
            if (key == keys[c])
                e.column(c) = value;
        }
        first = false;
    }
    if (!e.title.empty())
        flush();
    return out;
}

} // namespace

TEST(SiteListFile, OptionsFollowTheEightKeysAndStayWithTheirRecord) {
    SiteEntry plain = full("P");
    SiteEntry opt = full("O");
    opt.options.statusCodes = "200-299,301";
    opt.options.match = "regex";
    opt.options.headers = {"X-One: 1", "X-Two: a=b"};
    opt.options.every = "15";
    opt.options.unknown = {{"LATERKEY", "2027-01-01"}};
    SiteList l;
    l.insertAtTop(opt);   // bottom: written first
    l.insertAtTop(plain); // top: no options, follows a record that has them
    const std::string bytes = SiteListFile::serialize(l);
    EXPECT_NE(bytes.find("STATUS=OK\r\nSTATUSCODES=200-299,301\r\nMATCH=regex\r\nHEADER=X-One: 1\r\n"
                         "HEADER=X-Two: a=b\r\nEVERY=15\r\nLATERKEY=2027-01-01\r\n\r\nST=Ptitle\r\n"),
              std::string::npos)
        << bytes;

    // Load, save, reload: the options come back with their own record only.
    SiteEntry work;
    const std::vector<SiteEntry> back = SiteListFile::parse(bytes, work);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0], opt);
    EXPECT_EQ(back[1], plain);
    SiteList again;
    again.insertAllAtTop(back);
    EXPECT_EQ(SiteListFile::serialize(again), bytes);

    // A reader that knows only the eight keys sees the same rows, unchanged.
    const std::vector<SiteEntry> old = eightKeyReader(bytes);
    ASSERT_EQ(old.size(), 2u);
    SiteEntry optFields = opt;
    optFields.options = {};
    EXPECT_EQ(old[0], optFields);
    EXPECT_EQ(old[1], plain);
}

TEST(SiteListFile, OlderListLoadsAndSavesByteForByteAndOptionsNeverCarryOver) {
    // As the writer before options wrote it, and as other programs may.
    const std::string older =
        "CREATOR=Vantrel 1.0\r\n"
        "ST=a\r\nURL=http://a\r\nTESTSTRING=x\r\nCREATE=01 Jan 2026\r\nCHECK=\r\nURLEMAIL=\r\n"
        "ACTION=Email\r\nSTATUS=OK\r\n\r\n"
        "ST=b\r\nURL=http://b\r\nTESTSTRING=\r\nCREATE=01 Jan 2026\r\nCHECK=\r\nURLEMAIL=\r\n"
        "ACTION=Sound\r\nSTATUS=New\r\n";
    SiteEntry work;
    SiteList l;
    l.insertAllAtTop(SiteListFile::parse(older, work));
    EXPECT_EQ(SiteListFile::serialize(l), older);

    // Options before the first record, and lower-case or field keys, are no
    // options; a record without options has none, whatever came before.
    const std::string hand = "MATCH=json\nST=a\nURL=http://a\nINVERT=yes\nst=x\nCREATOR=y\nmatch=z\n\n"
                             "ST=b\nURL=http://b\n";
    SiteEntry w2;
    const auto records = SiteListFile::parse(hand, w2);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].options.invert, "yes");
    EXPECT_EQ(records[0].options.match, "");
    EXPECT_TRUE(records[0].options.unknown.empty());
    EXPECT_EQ(records[1].options, SiteOptions{});
}

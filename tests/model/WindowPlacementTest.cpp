#include "model/WindowPlacement.h"
#include "model/ExtraSettingsFile.h"
#include "model/ExtraSettingsKeys.h"

#include <gtest/gtest.h>

using namespace vantrel;

// Only four whole numbers with a size above 0 are a placement; the key
// refuses anything else and keeps the default (the first start's placement).
TEST(WindowPlacement, ReadsOnlyWholePlacements) {
    EXPECT_EQ(WindowPlacement::parse("120,80,900,640"), (WindowPlacement{120, 80, 900, 640}));
    EXPECT_EQ(WindowPlacement::parse("-1920,-5,800,600"), (WindowPlacement{-1920, -5, 800, 600}));
    EXPECT_EQ(WindowPlacement::parse("-1920,-5,800,600")->text(), "-1920,-5,800,600");
    for (const char* bad : {"", "1,2,3", "1,2,3,4,5", "1,2,0,4", "1,2,3,-4", "1, 2,3,4", "+1,2,3,4",
                            "1,2,3,4 ", "a,b,c,d", "1,2,99999999999,4", "1;2;3;4"})
        EXPECT_FALSE(WindowPlacement::parse(bad).has_value()) << bad;
    ExtraSettings s;
    EXPECT_EQ(ExtraSettingsFile::parse("WINDOWGEOMETRY=10,10,0,0\r\n", s).problems.size(), 1u);
    EXPECT_EQ(s.windowGeometry, "");
    EXPECT_TRUE(ExtraSettingsFile::parse("WINDOWGEOMETRY=10,20,700,500\r\n", s).problems.empty());
    EXPECT_EQ(s.windowGeometry, "10,20,700,500");
}

// A window whose title bar can be reached on a screen keeps its place; one
// stored on a screen that is gone, or pushed past an edge, is placed anew;
// a size larger than every screen is cut to the largest one.
TEST(WindowPlacement, FallsBackWhenOffEveryScreen) {
    const std::vector<WindowPlacement> two = {{0, 0, 1920, 1050}, {1920, 0, 1280, 1024}};
    auto fit = [&two](WindowPlacement p) { return p.fittedTo(two); };

    EXPECT_TRUE(fit({100, 100, 800, 600}).keepPosition);
    EXPECT_TRUE(fit({2000, 50, 800, 600}).keepPosition);   // on the second screen
    EXPECT_TRUE(fit({-700, 10, 800, 600}).keepPosition);   // 100 px of the title bar on screen
    EXPECT_FALSE(fit({-760, 10, 800, 600}).keepPosition);  // 40 px: too little to take hold of
    EXPECT_FALSE(fit({3300, 10, 800, 600}).keepPosition);  // right of every screen
    EXPECT_FALSE(fit({100, 1045, 800, 600}).keepPosition); // its title bar below the bottom
    EXPECT_FALSE(fit({100, -20, 800, 600}).keepPosition);  // its title bar above the top
    EXPECT_FALSE(fit({-1920, 0, 800, 600}).keepPosition);  // a left screen that is gone
    EXPECT_FALSE(fit({2147483000, 2147483000, 2147483647, 2147483647}).keepPosition);

    const WindowPlacement::Fitted big = fit({10, 10, 5000, 3000});
    EXPECT_EQ(big.width, 1920);
    EXPECT_EQ(big.height, 1050);
    EXPECT_TRUE(big.keepPosition);
    const WindowPlacement::Fitted none = WindowPlacement{10, 10, 5000, 3000}.fittedTo({});
    EXPECT_EQ(none.width, 5000); // no screen known: as stored, placed by the window manager
    EXPECT_FALSE(none.keepPosition);
}

// Every key's help names what it does and its default, as the tool tips of
// the Preferences show it.
TEST(WindowPlacement, KeysExplainThemselves) {
    EXPECT_EQ(extraSettingKey("PARALLEL").help(),
              "Pages fetched at once during a pass (1 to 64). Default: 8.");
    EXPECT_EQ(extraSettingKey("OFFLINEGUARD").help(),
              "No failure reports while this computer is offline. Default: yes.");
    EXPECT_EQ(extraSettingKey("CHANNELn").help().substr(0, 17), "An alert channel:");
    EXPECT_NE(extraSettingKey("METRICS").help().find(". Default: empty."), std::string::npos);
    EXPECT_THROW(extraSettingKey("NOSUCHKEY"), std::out_of_range);
}

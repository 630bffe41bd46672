#include "ui/WindowVisibility.h"
#include "ui/WindowSystem.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace vantrel;
using State = WindowVisibility::State;

namespace {

// A window system in memory: it records every step asked of it, keeps the
// deferred steps until `settle`, and lets the test play the window manager.
class FakeWindowSystem : public WindowSystem {
public:
    bool tray = true;
    bool minimized = false;
    bool shown = false;
    std::vector<std::string> steps;

    bool trayAvailable() const override { return tray; }
    bool isMinimized() const override { return minimized; }
    void showNormal() override {
        steps.push_back("showNormal");
        shown = true;
        minimized = false;
    }
    void showMinimized() override {
        steps.push_back("showMinimized");
        shown = true;
        minimized = true;
    }
    void hideUnminimized() override {
        steps.push_back("hide");
        shown = false;
        minimized = false;
    }
    void later(void (*step)(void*), void* context) override { deferred_.emplace_back(step, context); }
    void settle() {
        while (!deferred_.empty()) {
            auto [step, context] = deferred_.front();
            deferred_.erase(deferred_.begin());
            step(context);
        }
    }

private:
    std::vector<std::pair<void (*)(void*), void*>> deferred_;
};

struct WindowVisibilityTest : ::testing::Test {
    // The window manager (or the user) minimises the window.
    void minimizedByWindowManager() {
        fake.minimized = true;
        visibility.stateChanged();
        fake.settle();
    }

    FakeWindowSystem fake;
    WindowVisibility visibility{fake};
};

} // namespace

TEST_F(WindowVisibilityTest, WithATrayMinimisingHidesTheWindowUnminimisedAndTheTrayBringsItBack) {
    visibility.minimize(); // start-up
    fake.settle();
    EXPECT_EQ(fake.steps, (std::vector<std::string>{"showMinimized", "hide"}));
    EXPECT_FALSE(fake.shown);
    EXPECT_FALSE(fake.minimized); // so the next show maps it normal, not iconic
    EXPECT_EQ(visibility.state(), State::InTray);

    visibility.restore();
    visibility.exposed();
    EXPECT_TRUE(fake.shown);
    EXPECT_EQ(visibility.state(), State::Shown);
}

// The mended fault: within a second of a restore, a minimise used to be taken
// for the window manager's leftover and undone.
TEST_F(WindowVisibilityTest, AUsersMinimiseWithinASecondOfARestoreStaysMinimised) {
    visibility.minimize();
    fake.settle();
    visibility.restore();
    visibility.exposed(); // on screen: what follows is the user's
    fake.steps.clear();
    minimizedByWindowManager(); // a few milliseconds later
    EXPECT_EQ(fake.steps, (std::vector<std::string>{"hide"}));
    EXPECT_FALSE(fake.shown);
    EXPECT_EQ(visibility.state(), State::InTray);
}

TEST_F(WindowVisibilityTest, AMinimisedStateLeftOverFromBeforeTheRestoreIsUndoneOnce) {
    visibility.minimize();
    fake.settle();
    visibility.restore();
    fake.steps.clear();
    // An X11 window manager maps the window iconic, as it was when hidden,
    // before it is ever on screen.
    minimizedByWindowManager();
    EXPECT_EQ(fake.steps, (std::vector<std::string>{"showNormal"}));
    EXPECT_TRUE(fake.shown);
    EXPECT_FALSE(fake.minimized);
    // A window manager that insists is obeyed: no endless back and forth.
    minimizedByWindowManager();
    EXPECT_EQ(fake.steps, (std::vector<std::string>{"showNormal", "hide"}));
    EXPECT_EQ(visibility.state(), State::InTray);
}

TEST_F(WindowVisibilityTest, WithoutATrayTheWindowStaysMinimisedWithItsTaskBarButton) {
    fake.tray = false; // no tray at all, or a Wayland session without one
    visibility.minimize();
    fake.settle();
    minimizedByWindowManager();
    EXPECT_EQ(fake.steps, (std::vector<std::string>{"showMinimized"}));
    EXPECT_TRUE(fake.shown);
    EXPECT_TRUE(fake.minimized);
    // A restore from elsewhere (a second start) still brings it up.
    visibility.restore();
    EXPECT_FALSE(fake.minimized);
}

#pragma once

#include <chrono>
#include <vector>

namespace vantrel {

// Boxes that a burst of the engine's work fills many times over before the
// window can paint once: while a burst runs, a box keeps only the last text
// it was given, and every box shows its text when the burst ends, before any
// event is handled. Only the text of the last fill can ever be seen, so the
// window looks the same; it lays out one text instead of hundreds. Bursts
// that follow each other closely (the slices of a pass) show what they kept
// at most every kPace; the one who runs them shows the rest at their end.
class PacedDisplay {
public:
    // A display that keeps texts back during a burst.
    class Member {
    public:
        virtual ~Member() = default;
        // Shows every text kept back.
        virtual void showKept() = 0;
    };

    // A burst, for as long as it lives. Bursts nest; the outermost one shows
    // what was kept when it ends.
    class Burst {
    public:
        Burst();
        ~Burst();
        Burst(const Burst&) = delete;
        Burst& operator=(const Burst&) = delete;
    };

    // The shortest time between two showings at the ends of bursts.
    static constexpr std::chrono::milliseconds kPace{50};

    static bool inBurst();
    // Shows what was kept, burst or not: before events are handled inside a
    // burst (a wait that serves the window).
    static void showKept();

    static void enlist(Member* member);
    static void leave(Member* member);

private:
    static int depth_;
    static std::chrono::steady_clock::time_point shown_; // the last showing
    static std::vector<Member*> members_;
};

} // namespace vantrel

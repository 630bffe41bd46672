#pragma once

#include <vector>

namespace vantrel {

// Boxes that a burst of the engine's work fills many times over before the
// window can paint once: while a burst runs, a box keeps only the last text
// it was given, and every box shows its text when the burst ends, before any
// event is handled. Only the text of the last fill can ever be seen, so the
// window looks the same; it lays out one text instead of hundreds.
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

    static bool inBurst();
    // Shows what was kept, burst or not: before events are handled inside a
    // burst (a wait that serves the window).
    static void showKept();

    static void enlist(Member* member);
    static void leave(Member* member);

private:
    static int depth_;
    static std::vector<Member*> members_;
};

} // namespace vantrel

#include "ui/PacedDisplay.h"

#include <algorithm>

namespace vantrel {

int PacedDisplay::depth_ = 0;
std::vector<PacedDisplay::Member*> PacedDisplay::members_;
std::chrono::steady_clock::time_point PacedDisplay::shown_{};

PacedDisplay::Burst::Burst() {
    ++depth_;
}

PacedDisplay::Burst::~Burst() {
    if (--depth_ == 0 && std::chrono::steady_clock::now() - shown_ >= kPace)
        showKept();
}

bool PacedDisplay::inBurst() {
    return depth_ > 0;
}

void PacedDisplay::showKept() {
    shown_ = std::chrono::steady_clock::now();
    for (Member* m : members_)
        m->showKept();
}

void PacedDisplay::enlist(Member* member) {
    members_.push_back(member);
}

void PacedDisplay::leave(Member* member) {
    members_.erase(std::remove(members_.begin(), members_.end(), member), members_.end());
}

} // namespace vantrel

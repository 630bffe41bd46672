#pragma once

#include <QObject>
#include <QTimer>

#include <array>
#include <cstddef>
#include <functional>

namespace vantrel {

// Gives the memory a pass over a long list freed back to the system, a few
// times while the program rests after it. The pass gives back what it freed
// at its end, but the history writes the pass's checks after it, and what
// they took is freed only then, on the writer's thread; kept by the C
// library, that would stay resident until the next pass and grow with it.
class MemoryRest : public QObject {
public:
    // `busy`: whether the program works now (a pass runs); a give-back then
    // waits for the end of that work, and the window answers meanwhile.
    explicit MemoryRest(std::function<bool()> busy, QObject* parent = nullptr);

    // A pass over `rows` rows has ended.
    void passEnded(int rows);
    // Give-backs still to come after the last long pass.
    int pending() const { return next_ < kDelays.size() ? static_cast<int>(kDelays.size() - next_) : 0; }

    // The rests after a long pass at which memory goes back, in ms.
    static constexpr std::array<int, 3> kDelays{1000, 5000, 30000};

private:
    void giveBack();

    std::function<bool()> busy_;
    QTimer timer_;
    size_t next_ = kDelays.size();
};

} // namespace vantrel

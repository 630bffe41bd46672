#pragma once

#include <QObject>
#include <QTimer>

#include <array>
#include <cstddef>

namespace vantrel {

// Gives the memory a pass over a long list freed back to the system, a few
// times while the program rests after it. The pass gives back what it freed
// at its end, but the history writes the pass's checks after it, and what
// they took is freed only then, on the writer's thread; kept by the C
// library, that would stay resident until the next pass and grow with it.
class MemoryRest : public QObject {
public:
    explicit MemoryRest(QObject* parent = nullptr);

    // A pass over `rows` rows has ended.
    void passEnded(int rows);
    // Give-backs still to come after the last long pass.
    int pending() const { return next_ < kDelays.size() ? static_cast<int>(kDelays.size() - next_) : 0; }

    // The rests after a long pass at which memory goes back, in ms.
    static constexpr std::array<int, 3> kDelays{1000, 5000, 30000};

private:
    void giveBack();

    QTimer timer_;
    size_t next_ = kDelays.size();
};

} // namespace vantrel

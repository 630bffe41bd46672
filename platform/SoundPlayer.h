#pragma once

#include <string>

namespace vantrel {

// Plays an alert sound without holding up the caller. When the file cannot
// be played, the desktop's default alert sound is played instead; without a
// sound device nothing is heard and nothing fails.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void play(const std::string& file) = 0;
};

} // namespace vantrel

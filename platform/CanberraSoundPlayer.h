#pragma once

#include "platform/SoundPlayer.h"

struct ca_context;

namespace vantrel {

// Plays sounds through libcanberra, which hands them to the desktop's sound
// server and returns at once. Falls back to the theme's warning sound when
// the file cannot be played. Use from one thread only.
class CanberraSoundPlayer : public SoundPlayer {
public:
    CanberraSoundPlayer();
    ~CanberraSoundPlayer() override;
    CanberraSoundPlayer(const CanberraSoundPlayer&) = delete;
    CanberraSoundPlayer& operator=(const CanberraSoundPlayer&) = delete;

    void play(const std::string& file) override;

private:
    ca_context* context_ = nullptr;
    unsigned id_ = 0;
};

} // namespace vantrel

#pragma once

#include "platform/SoundPlayer.h"

#include <string>
#include <vector>

namespace vantrel::test {

// Records the sounds asked for instead of playing them.
class FakeSoundPlayer : public SoundPlayer {
public:
    std::vector<std::string> played;
    void play(const std::string& file) override { played.push_back(file); }
};

} // namespace vantrel::test

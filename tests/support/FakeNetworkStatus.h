#pragma once

#include "platform/NetworkStatus.h"

namespace vantrel::test {

// The machine's interfaces as the test says they are.
class FakeNetworkStatus : public NetworkStatus {
public:
    bool up = true;
    int asked = 0;
    bool interfaceUp() override {
        ++asked;
        return up;
    }
};

} // namespace vantrel::test

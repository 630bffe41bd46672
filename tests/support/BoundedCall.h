#pragma once

#include "tests/support/LoopbackServer.h"

#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <iostream>
#include <string>
#include <vector>

namespace vantrel::test {

// Runs a call that talks to loopback peers on a thread of its own and waits
// for it a bounded time. A call still running then fails the test and is
// ended by stopping the peers, which closes every connection it waits on.
// The time each call took is printed for the reader of the test log.
class BoundedCall {
public:
    static constexpr std::chrono::seconds kBound{60};

    template <typename Call>
    static auto run(const std::string& what, Call call, const std::vector<LoopbackServer*>& peers) {
        const auto start = std::chrono::steady_clock::now();
        auto result = std::async(std::launch::async, call);
        if (result.wait_for(kBound) != std::future_status::ready) {
            ADD_FAILURE() << what << ": no result within " << kBound.count() << " s";
            for (LoopbackServer* peer : peers)
                peer->stop();
        }
        auto value = result.get();
        const auto took = std::chrono::steady_clock::now() - start;
        std::cout << "[ time     ] " << what << ": "
                  << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms\n";
        return value;
    }
};

} // namespace vantrel::test

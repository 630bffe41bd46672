#pragma once

#include <cstdio>
#include <cstdlib>

namespace vantrel::fuzz {

// A property a fuzz target holds on every input. A broken one is reported
// and ends the run like a crash, so libFuzzer keeps the input that broke it.
class FuzzCheck {
public:
    static void require(bool holds, const char* what) {
        if (holds)
            return;
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
};

} // namespace vantrel::fuzz

#include "platform/FreeMemory.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace vantrel;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitizedAllocator = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitizedAllocator = true;
#else
constexpr bool kSanitizedAllocator = false;
#endif
#else
constexpr bool kSanitizedAllocator = false;
#endif

long anonymousKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("RssAnon:", 0) == 0)
            return std::stol(line.substr(8));
    return -1;
}

} // namespace

// Many small blocks freed below one that stays (as pages freed under the
// rows of a long list): the C library keeps them resident until it is told
// to give them back, and giving back must really reach it.
TEST(FreeMemoryTest, FreedBlocksUnderALiveOneGoBack) {
    // AddressSanitizer's allocator keeps freed blocks in quarantine and
    // ignores malloc_trim: there is nothing of the C library's to measure.
    if (kSanitizedAllocator)
        GTEST_SKIP() << "the C library's allocator is replaced";
    std::vector<std::unique_ptr<char[]>> blocks;
    for (int i = 0; i < 160000; ++i) {
        blocks.emplace_back(new char[400]);
        std::fill_n(blocks.back().get(), 400, 'x');
    }
    auto kept = std::make_unique<char[]>(400);
    kept[0] = 'k';
    blocks.clear();
    const long before = anonymousKb();
    FreeMemory::giveBack();
    const long after = anonymousKb();
    ASSERT_GT(before, 0);
    EXPECT_LT(after, before - 30000) << before << " kB before, " << after << " kB after";
    EXPECT_EQ(kept[0], 'k');
}

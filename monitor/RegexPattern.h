#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace re2 {
class RE2;
}

namespace vantrel {

// A pattern compiled with RE2, which searches in time linear in the page
// whatever the pattern, so no page or pattern can hold up a pass. Each
// pattern may use at most kMaxMemory for its compiled form and its search
// cache; a pattern that needs more is refused as too large, and a search
// whose cache fills falls back to a slower search that is still linear.
class RegexPattern {
public:
    static constexpr long long kMaxMemory = 8LL * 1024 * 1024;

    enum class Kind {
        Regex,              // RE2 syntax, case-sensitive
        LiteralIgnoringCase // the text itself, letters of either case
    };

    RegexPattern(std::string_view pattern, Kind kind);

    // The compiled pattern, shared: each pattern is compiled once and kept
    // (up to kCacheSize patterns; beyond, the cache starts afresh), since a
    // pass judges every site's page by its pattern, some twice. Safe to call
    // from any thread; the pattern itself is only read.
    static std::shared_ptr<const RegexPattern> compiled(const std::string& pattern, Kind kind);
    static constexpr std::size_t kCacheSize = 1024;
    ~RegexPattern();
    RegexPattern(RegexPattern&&) noexcept;
    RegexPattern& operator=(RegexPattern&&) noexcept;

    bool ok() const;
    // RE2's message for a pattern it refused ("missing ): (abc"), else empty.
    const std::string& error() const { return error_; }

    // Whether the pattern matches anywhere in `text`; false when not ok().
    bool search(std::string_view text) const;

private:
    std::unique_ptr<re2::RE2> re_;
    std::string error_;
};

} // namespace vantrel

#include "monitor/RegexPattern.h"

#include <map>
#include <mutex>
#include <re2/re2.h>

namespace vantrel {

namespace {

std::unique_ptr<re2::RE2> compile(std::string_view pattern, RegexPattern::Kind kind, bool latin1) {
    re2::RE2::Options options;
    options.set_max_mem(RegexPattern::kMaxMemory);
    options.set_log_errors(false);
    if (latin1)
        options.set_encoding(re2::RE2::Options::EncodingLatin1);
    if (kind == RegexPattern::Kind::LiteralIgnoringCase) {
        options.set_literal(true);
        options.set_case_sensitive(false);
    }
    return std::make_unique<re2::RE2>(re2::StringPiece(pattern.data(), pattern.size()), options);
}

} // namespace

RegexPattern::RegexPattern(std::string_view pattern, Kind kind) : re_(compile(pattern, kind, false)) {
    // A literal that is not UTF-8 (a list from an older program in an 8-bit
    // code page) is taken byte for byte, with Latin-1 letters.
    if (!re_->ok() && kind == Kind::LiteralIgnoringCase && re_->error_code() == re2::RE2::ErrorBadUTF8)
        re_ = compile(pattern, kind, true);
    if (!re_->ok())
        error_ = re_->error();
}

std::shared_ptr<const RegexPattern> RegexPattern::compiled(const std::string& pattern, Kind kind) {
    static std::mutex mutex;
    static std::map<std::pair<std::string, Kind>, std::shared_ptr<const RegexPattern>> cache;
    const std::lock_guard<std::mutex> lock(mutex);
    auto key = std::make_pair(pattern, kind);
    if (auto it = cache.find(key); it != cache.end())
        return it->second;
    if (cache.size() >= kCacheSize)
        cache.clear();
    auto made = std::make_shared<const RegexPattern>(pattern, kind);
    cache.emplace(std::move(key), made);
    return made;
}

RegexPattern::~RegexPattern() = default;
RegexPattern::RegexPattern(RegexPattern&&) noexcept = default;
RegexPattern& RegexPattern::operator=(RegexPattern&&) noexcept = default;

bool RegexPattern::ok() const {
    return re_ && re_->ok();
}

bool RegexPattern::search(std::string_view text) const {
    return ok() && re2::RE2::PartialMatch(re2::StringPiece(text.data(), text.size()), *re_);
}

} // namespace vantrel

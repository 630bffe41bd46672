#include "model/SiteOptionKeys.h"

#include "model/KeyValueWriter.h"

#include <iterator>

namespace vantrel {

namespace {

const SiteOptionKey kKeys[] = {
    {"STATUSCODES", &SiteOptions::statusCodes},
    {"MATCH", &SiteOptions::match},
    {"JSONPOINTER", &SiteOptions::jsonPointer},
    {"INVERT", &SiteOptions::invert},
    {"SLOWMS", &SiteOptions::slowMs},
    {"SLOWCOUNT", &SiteOptions::slowCount},
    {"METHOD", &SiteOptions::method},
    {"HEADER", nullptr, &SiteOptions::headers},
    {"AUTH", &SiteOptions::auth},
    {"AUTHUSER", &SiteOptions::authUser},
    {"USERAGENT", &SiteOptions::userAgent},
    {"REDIRECTS", &SiteOptions::redirects},
    {"INSECURE", &SiteOptions::insecure},
    {"EVERY", &SiteOptions::every},
    {"CHANNELS", &SiteOptions::channels, nullptr, false},
    {"SNOOZE", &SiteOptions::snooze, nullptr, false},
};

// The keys of the eight fields and the header: never options, never kept.
bool fieldKey(std::string_view key) {
    for (std::string_view k :
         {"ST", "URL", "TESTSTRING", "CREATE", "CHECK", "URLEMAIL", "ACTION", "STATUS", "CREATOR"})
        if (key == k)
            return true;
    return false;
}

bool looksLikeKey(std::string_view key) {
    if (key.empty() || key[0] < 'A' || key[0] > 'Z')
        return false;
    for (char c : key)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    return true;
}

} // namespace

bool SiteOptions::inUse() const {
    for (const SiteOptionKey& k : SiteOptionKeys::table())
        if (k.check && (k.text ? !(this->*k.text).empty() : !(this->*k.lines).empty()))
            return true;
    return false;
}

std::span<const SiteOptionKey> SiteOptionKeys::table() {
    return {std::begin(kKeys), std::end(kKeys)};
}

bool SiteOptionKeys::read(SiteOptions& options, std::string_view key, std::string_view value) {
    for (const SiteOptionKey& k : kKeys) {
        if (key != k.key)
            continue;
        if (k.text)
            (options.*k.text).assign(value);
        else
            (options.*k.lines).emplace_back(value);
        return true;
    }
    if (!looksLikeKey(key) || fieldKey(key))
        return false;
    options.unknown.emplace_back(key, value);
    return true;
}

void SiteOptionKeys::write(const SiteOptions& options, KeyValueWriter& out) {
    auto line = [&out](std::string_view key, const std::string& value) { out.line(key, value); };
    for (const SiteOptionKey& k : kKeys) {
        if (k.text) {
            if (!(options.*k.text).empty())
                line(k.key, options.*k.text);
        } else {
            for (const std::string& value : options.*k.lines)
                line(k.key, value);
        }
    }
    for (const auto& [key, value] : options.unknown)
        line(key, value);
}

} // namespace vantrel

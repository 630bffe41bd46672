#pragma once

#include "model/SiteEntry.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace vantrel {

// A site as a JSON object: its eight fields under their own names and its
// options under their file keys ("options": {"STATUSCODES": "200-299",
// "HEADER": ["X-A: 1"]}), so that nothing of a record is lost on the way out
// and back in. Texts that are not UTF-8 are written with the replacement
// character.
class SiteJson {
public:
    static nlohmann::json toJson(const SiteEntry& site, bool withReason = false);
    // Reads what toJson wrote; missing fields stay empty. nullopt, with
    // `why`, for anything that is not such an object.
    static std::optional<SiteEntry> fromJson(const nlohmann::json& value, std::string& why);
    // The text of a JSON document, never failing on bytes that are not UTF-8.
    static std::string dump(const nlohmann::json& value, int indent = -1);
};

} // namespace vantrel

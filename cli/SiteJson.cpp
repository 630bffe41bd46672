#include "cli/SiteJson.h"

#include "model/SiteOptionKeys.h"

namespace vantrel {

namespace {

constexpr const char* kFields[SiteEntry::kColumnCount] = {"title",    "url",        "testString", "action",
                                                          "errorUrl", "createDate", "checkDate",  "status"};

} // namespace

nlohmann::json SiteJson::toJson(const SiteEntry& site, bool withReason) {
    nlohmann::json out = nlohmann::json::object();
    for (int c = 0; c < SiteEntry::kColumnCount; ++c)
        out[kFields[c]] = site.column(c);
    if (withReason && !site.reason.empty())
        out["reason"] = site.reason;
    nlohmann::json options = nlohmann::json::object();
    for (const SiteOptionKey& key : SiteOptionKeys::table()) {
        if (key.text && !(site.options.*key.text).empty())
            options[key.key] = site.options.*key.text;
        if (key.lines && !(site.options.*key.lines).empty())
            options[key.key] = site.options.*key.lines;
    }
    for (const auto& [key, value] : site.options.unknown)
        options[key] = value;
    if (!options.empty())
        out["options"] = std::move(options);
    return out;
}

std::optional<SiteEntry> SiteJson::fromJson(const nlohmann::json& value, std::string& why) {
    if (!value.is_object()) {
        why = "a site is not a JSON object";
        return std::nullopt;
    }
    SiteEntry site;
    for (int c = 0; c < SiteEntry::kColumnCount; ++c) {
        const auto it = value.find(kFields[c]);
        if (it == value.end() || it->is_null())
            continue;
        if (!it->is_string()) {
            why = std::string("\"") + kFields[c] + "\" is not a text";
            return std::nullopt;
        }
        site.column(c) = it->get<std::string>();
    }
    const auto options = value.find("options");
    if (options != value.end() && !options->is_null()) {
        if (!options->is_object()) {
            why = "\"options\" is not an object";
            return std::nullopt;
        }
        for (const auto& [key, v] : options->items()) {
            std::vector<std::string> texts;
            if (v.is_string())
                texts.push_back(v.get<std::string>());
            else if (v.is_array())
                for (const auto& line : v) {
                    if (!line.is_string()) {
                        why = "option " + key + " is not a text";
                        return std::nullopt;
                    }
                    texts.push_back(line.get<std::string>());
                }
            else {
                why = "option " + key + " is not a text";
                return std::nullopt;
            }
            for (const std::string& text : texts)
                if (!SiteOptionKeys::read(site.options, key, text)) {
                    why = "unknown option " + key;
                    return std::nullopt;
                }
        }
    }
    return site;
}

std::string SiteJson::dump(const nlohmann::json& value, int indent) {
    return value.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace vantrel

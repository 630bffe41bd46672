#include "cli/FolderRequest.h"

#include "cli/SiteJson.h"

namespace vantrel {

namespace {

nlohmann::json sitesJson(const std::vector<SiteEntry>& sites) {
    nlohmann::json out = nlohmann::json::array();
    for (const SiteEntry& s : sites)
        out.push_back(SiteJson::toJson(s, true));
    return out;
}

bool readSites(const nlohmann::json& doc, std::vector<SiteEntry>& sites, std::string& why) {
    const auto it = doc.find("sites");
    if (it == doc.end())
        return true;
    if (!it->is_array()) {
        why = "\"sites\" is not a list";
        return false;
    }
    for (const auto& value : *it) {
        std::optional<SiteEntry> site = SiteJson::fromJson(value, why);
        if (!site)
            return false;
        if (value.contains("reason") && value["reason"].is_string())
            site->reason = value["reason"].get<std::string>();
        sites.push_back(std::move(*site));
    }
    return true;
}

std::optional<nlohmann::json> parseObject(std::string_view text, std::string& why) {
    try {
        nlohmann::json doc = nlohmann::json::parse(text);
        if (doc.is_object())
            return doc;
        why = "not a JSON object";
    } catch (const nlohmann::json::exception&) {
        why = "not valid JSON";
    }
    return std::nullopt;
}

std::string textOf(const nlohmann::json& doc, const char* key) {
    const auto it = doc.find(key);
    return it != doc.end() && it->is_string() ? it->get<std::string>() : std::string();
}

} // namespace

std::string FolderRequest::toLine() const {
    nlohmann::json doc = {{"v", kVersion}, {"command", command}};
    if (command == "add")
        doc.update({{"title", title}, {"url", url}, {"text", text}, {"action", action}});
    if (command == "remove" || command == "check-now")
        doc["target"] = target;
    if (command == "add-sites")
        doc["sites"] = sitesJson(sites);
    return std::string(kLinePrefix) + SiteJson::dump(doc) + "\n";
}

std::optional<FolderRequest> FolderRequest::fromLine(std::string_view line, std::string& why) {
    if (line.substr(0, kLinePrefix.size()) != kLinePrefix) {
        why = "not a command";
        return std::nullopt;
    }
    line.remove_prefix(kLinePrefix.size());
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    std::optional<nlohmann::json> doc = parseObject(line, why);
    if (!doc)
        return std::nullopt;
    const auto v = doc->find("v");
    if (v == doc->end() || !v->is_number_integer() || v->get<long long>() < 1) {
        why = "no protocol version";
        return std::nullopt;
    }
    if (v->get<long long>() > kVersion) {
        why = "protocol version " + std::to_string(v->get<long long>()) + " is newer than this Vantrel's (" +
              std::to_string(kVersion) + ")";
        return std::nullopt;
    }
    FolderRequest r;
    r.command = textOf(*doc, "command");
    r.title = textOf(*doc, "title");
    r.url = textOf(*doc, "url");
    r.text = textOf(*doc, "text");
    r.action = textOf(*doc, "action");
    r.target = textOf(*doc, "target");
    if (!readSites(*doc, r.sites, why))
        return std::nullopt;
    return r;
}

std::string FolderReply::toLine() const {
    nlohmann::json doc = {{"v", FolderRequest::kVersion}, {"status", status}, {"message", message}};
    if (!sites.empty())
        doc["sites"] = sitesJson(sites);
    return SiteJson::dump(doc) + "\n";
}

std::optional<FolderReply> FolderReply::fromLine(std::string_view line, std::string& why) {
    std::optional<nlohmann::json> doc = parseObject(line, why);
    if (!doc)
        return std::nullopt;
    const auto status = doc->find("status");
    if (status == doc->end() || !status->is_number_integer()) {
        why = "no status";
        return std::nullopt;
    }
    FolderReply r;
    r.status = status->get<int>();
    r.message = textOf(*doc, "message");
    if (!readSites(*doc, r.sites, why))
        return std::nullopt;
    return r;
}

} // namespace vantrel

#include "cli/ExportDocument.h"

#include "cli/SiteJson.h"
#include "model/KeyValueLines.h"

#include <algorithm>
#include <cctype>

namespace vantrel {

namespace {

std::string upper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::toupper(c); });
    return out;
}

// Removes "user:password@" from every URL in `text`.
std::string withoutUserInfo(std::string text) {
    size_t at = 0;
    while ((at = text.find("://", at)) != std::string::npos) {
        const size_t start = at + 3;
        const size_t end = text.find_first_of("/?# \t", start);
        const size_t authorityEnd = end == std::string::npos ? text.size() : end;
        const size_t userEnd = text.rfind('@', authorityEnd);
        if (userEnd != std::string::npos && userEnd >= start && userEnd < authorityEnd)
            text.erase(start, userEnd + 1 - start);
        at = start;
    }
    return text;
}

nlohmann::json settingsOf(std::string_view bytes, bool lenient) {
    nlohmann::json out = nlohmann::json::object();
    auto take = [&out](std::string_view key, std::string_view value) {
        if (key.empty() || key == "CREATOR")
            return;
        if (std::optional<std::string> kept = ExportDocument::withoutSecret(key, value))
            out[std::string(key)] = *kept;
    };
    if (lenient)
        KeyValueLines::forEachLenient(bytes, take);
    else
        KeyValueLines::forEach(bytes, take);
    return out;
}

std::string isoTime(std::time_t t) {
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

} // namespace

std::optional<std::string> ExportDocument::withoutSecret(std::string_view key, std::string_view value) {
    const std::string name = upper(key);
    const bool namesFile = name.size() > 4 && name.compare(name.size() - 4, 4, "FILE") == 0;
    for (const char* word : {"PASSWORD", "PASSWD", "TOKEN", "SECRET", "APIKEY", "API_KEY"})
        if (name.find(word) != std::string::npos && !namesFile)
            return std::nullopt;
    return withoutUserInfo(std::string(value));
}

std::string ExportDocument::write(const SiteList& list, std::string_view settingsFile,
                                  std::string_view extraFile, std::time_t now) {
    nlohmann::json doc = nlohmann::json::object();
    doc["format"] = "vantrel-export";
    doc["schemaVersion"] = kSchemaVersion;
    doc["exported"] = isoTime(now);
    nlohmann::json sites = nlohmann::json::array();
    for (int i = 0; i < list.rowCount(); ++i) {
        SiteEntry site = list.row(i);
        // A URL's own login is a secret too; the site keeps its address.
        site.url = withoutUserInfo(site.url);
        site.errorUrl = withoutUserInfo(site.errorUrl);
        std::erase_if(site.options.headers, [](const std::string& line) {
            const std::string name = upper(line.substr(0, line.find(':')));
            return name.find("AUTHORIZATION") != std::string::npos ||
                   name.find("COOKIE") != std::string::npos || name.find("TOKEN") != std::string::npos ||
                   name.find("KEY") != std::string::npos;
        });
        sites.push_back(SiteJson::toJson(site));
    }
    doc["sites"] = std::move(sites);
    doc["settings"] = {{"vantrel.ini", settingsOf(settingsFile, false)},
                       {"vantrel-extra.ini", settingsOf(extraFile, true)}};
    return SiteJson::dump(doc, 2) + "\n";
}

} // namespace vantrel

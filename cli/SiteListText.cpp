#include "cli/SiteListText.h"

#include "cli/SiteJson.h"
#include "monitor/HistoryCsv.h"

#include <algorithm>

namespace vantrel {

namespace {

// Width in characters, counting each UTF-8 sequence once.
size_t width(const std::string& text) {
    size_t n = 0;
    for (unsigned char c : text)
        n += (c & 0xC0) != 0x80;
    return n;
}

std::string padded(const std::string& text, size_t to) {
    return text + std::string(to > width(text) ? to - width(text) : 0, ' ');
}

} // namespace

std::string SiteListText::table(const std::vector<SiteEntry>& sites) {
    const char* heads[] = {"STATUS", "TITLE", "URL", "CHECKED"};
    size_t w[3] = {6, 5, 3};
    for (const SiteEntry& s : sites) {
        w[0] = std::max(w[0], width(s.status));
        w[1] = std::max(w[1], width(s.title));
        w[2] = std::max(w[2], width(s.url));
    }
    std::string out = padded(heads[0], w[0]) + "  " + padded(heads[1], w[1]) + "  " + padded(heads[2], w[2]) +
                      "  " + heads[3] + "\n";
    for (const SiteEntry& s : sites) {
        std::string line = padded(s.status, w[0]) + "  " + padded(s.title, w[1]) + "  " +
                           padded(s.url, w[2]) + "  " + s.checkDate;
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out += line + "\n";
    }
    return out;
}

std::string SiteListText::json(const std::vector<SiteEntry>& sites) {
    nlohmann::json out = nlohmann::json::array();
    for (const SiteEntry& s : sites)
        out.push_back(SiteJson::toJson(s, true));
    return SiteJson::dump(out, 2) + "\n";
}

std::string SiteListText::csv(const std::vector<SiteEntry>& sites) {
    std::string out = "title,url,text,action,error_url,created,checked,status,reason\r\n";
    for (const SiteEntry& s : sites) {
        out += HistoryCsv::field(s.title) + "," + HistoryCsv::field(s.url) + "," +
               HistoryCsv::field(s.testString) + "," + HistoryCsv::field(s.action) + "," +
               HistoryCsv::field(s.errorUrl) + "," + HistoryCsv::field(s.createDate) + "," +
               HistoryCsv::field(s.checkDate) + "," + HistoryCsv::field(s.status) + "," +
               HistoryCsv::field(s.reason) + "\r\n";
    }
    return out;
}

} // namespace vantrel

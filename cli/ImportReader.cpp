#include "cli/ImportReader.h"

#include "cli/SiteJson.h"
#include "model/SiteOptionKeys.h"
#include "monitor/CheckRules.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>

namespace vantrel {

namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

std::string trim(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1])))
        --e;
    return std::string(text.substr(b, e - b));
}

// The line of byte `offset`, from 1.
int lineOf(std::string_view text, size_t offset) {
    offset = std::min(offset, text.size());
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(offset), '\n'));
}

ImportReader::Result refused(int line, std::string message) {
    ImportReader::Result r;
    r.errorLine = line;
    r.error = std::move(message);
    return r;
}

// Text files hold no NUL and no control character but tab, line ends and form feed.
int firstBinaryLine(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n' && c != '\f') || c == 0x7f)
            return lineOf(text, i);
    }
    return 0;
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            if (start < text.size())
                lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

void finish(ImportReader::Row& row) {
    if (!row.invalid.empty())
        return;
    if (row.site.url.empty()) {
        row.invalid = "no URL";
        return;
    }
    row.invalid = ImportReader::urlProblem(row.site.url);
    if (!row.invalid.empty())
        return;
    if (row.site.title.empty())
        row.site.title = row.site.url;
    for (const std::string* text : {&row.site.title, &row.site.testString})
        if (text->find_first_of("\r\n") != std::string::npos) {
            row.invalid = "a line break inside a field";
            return;
        }
    const CheckRules rules = CheckRules::from(row.site);
    if (!rules.problems.empty())
        row.invalid = "option " + rules.problems.front().key + " " + rules.problems.front().message;
}

// --- JSON -----------------------------------------------------------------

ImportReader::Result readJson(std::string_view text) {
    nlohmann::json doc;
    try {
        doc = nlohmann::json::parse(text);
    } catch (const nlohmann::json::parse_error& e) {
        return refused(lineOf(text, e.byte > 0 ? e.byte - 1 : 0), "not valid JSON");
    }
    if (!doc.is_object() || doc.value("format", "") != "vantrel-export")
        return refused(1, "not a Vantrel export (no \"format\": \"vantrel-export\")");
    const auto version = doc.find("schemaVersion");
    if (version == doc.end() || !version->is_number_integer())
        return refused(1, "no schema version");
    if (version->get<long long>() > 1)
        return refused(1, "schema version " + std::to_string(version->get<long long>()) +
                              " is newer than this Vantrel reads (1)");
    const auto sites = doc.find("sites");
    if (sites == doc.end() || !sites->is_array())
        return refused(1, "no \"sites\" list");
    ImportReader::Result r;
    r.ok = true;
    r.format = ImportReader::Format::Json;
    int index = 0;
    for (const auto& value : *sites) {
        ImportReader::Row row;
        row.line = ++index; // JSON rows are counted by their place in the list
        std::string why;
        if (std::optional<SiteEntry> site = SiteJson::fromJson(value, why))
            row.site = std::move(*site);
        else
            row.invalid = why;
        finish(row);
        r.rows.push_back(std::move(row));
    }
    return r;
}

// --- CSV ------------------------------------------------------------------

struct CsvRecord {
    int line = 0;
    std::vector<std::string> fields;
};

// RFC 4180 records; false with the line of an unterminated quote.
bool csvRecords(std::string_view text, std::vector<CsvRecord>& out, int& badLine) {
    size_t i = 0;
    int line = 1;
    while (i < text.size()) {
        CsvRecord rec;
        rec.line = line;
        std::string field;
        bool done = false;
        while (!done) {
            if (i < text.size() && text[i] == '"') {
                const int quoteLine = line;
                ++i;
                for (;;) {
                    if (i >= text.size()) {
                        badLine = quoteLine;
                        return false;
                    }
                    if (text[i] == '"') {
                        if (i + 1 < text.size() && text[i + 1] == '"') {
                            field += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    if (text[i] == '\n')
                        ++line;
                    field += text[i++];
                }
            }
            while (i < text.size() && text[i] != ',' && text[i] != '\n')
                field += text[i++];
            if (!field.empty() && field.back() == '\r')
                field.pop_back();
            rec.fields.push_back(std::move(field));
            field.clear();
            if (i >= text.size()) {
                done = true;
            } else if (text[i] == ',') {
                ++i;
            } else { // '\n'
                ++i;
                ++line;
                done = true;
            }
        }
        const bool blank = rec.fields.size() == 1 && trim(rec.fields[0]).empty();
        if (!blank)
            out.push_back(std::move(rec));
    }
    return true;
}

int columnOf(const std::vector<std::string>& header, std::initializer_list<const char*> names) {
    for (size_t c = 0; c < header.size(); ++c)
        for (const char* name : names)
            if (lower(trim(header[c])) == name)
                return static_cast<int>(c);
    return -1;
}

bool looksLikeCsvHeader(std::string_view firstLine) {
    if (firstLine.find(',') == std::string_view::npos)
        return false;
    std::vector<CsvRecord> recs;
    int bad = 0;
    if (!csvRecords(firstLine, recs, bad) || recs.empty())
        return false;
    return columnOf(recs[0].fields, {"url", "site url", "address"}) >= 0;
}

ImportReader::Result readCsv(std::string_view text) {
    std::vector<CsvRecord> recs;
    int bad = 0;
    if (!csvRecords(text, recs, bad))
        return refused(bad, "a quoted field is never closed");
    ImportReader::Result r;
    r.ok = true;
    r.format = ImportReader::Format::Csv;
    const std::vector<std::string>& header = recs.front().fields;
    const int title = columnOf(header, {"title", "name", "site title"});
    const int url = columnOf(header, {"url", "site url", "address"});
    const int testText = columnOf(header, {"text", "test string", "teststring"});
    for (size_t k = 1; k < recs.size(); ++k) {
        const CsvRecord& rec = recs[k];
        ImportReader::Row row;
        row.line = rec.line;
        if (rec.fields.size() != header.size()) {
            row.invalid = std::to_string(rec.fields.size()) + " fields where the header has " +
                          std::to_string(header.size());
        } else {
            if (title >= 0)
                row.site.title = trim(rec.fields[static_cast<size_t>(title)]);
            row.site.url = trim(rec.fields[static_cast<size_t>(url)]);
            if (testText >= 0)
                row.site.testString = rec.fields[static_cast<size_t>(testText)];
        }
        finish(row);
        r.rows.push_back(std::move(row));
    }
    return r;
}

// --- URL list -------------------------------------------------------------

ImportReader::Result readUrlList(std::string_view text) {
    ImportReader::Result r;
    r.format = ImportReader::Format::UrlList;
    int line = 0;
    int firstBad = 0;
    bool anyGood = false;
    for (std::string_view raw : splitLines(text)) {
        ++line;
        const std::string entry = trim(raw);
        if (entry.empty() || entry[0] == '#')
            continue;
        ImportReader::Row row;
        row.line = line;
        row.site.url = entry;
        finish(row);
        if (row.invalid.empty())
            anyGood = true;
        else if (!firstBad)
            firstBad = line;
        r.rows.push_back(std::move(row));
    }
    // Not one URL: this is no list of URLs, but some other file.
    if (!anyGood && firstBad)
        return refused(firstBad, "not a URL, a CSV header, a bookmark file or a Vantrel export");
    r.ok = true;
    return r;
}

// --- Netscape bookmarks ---------------------------------------------------

std::string decodeEntities(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const size_t semi = text.find(';', i);
        if (semi == std::string_view::npos || semi - i > 10) {
            out += '&';
            continue;
        }
        const std::string name(text.substr(i + 1, semi - i - 1));
        std::string rep;
        if (name == "amp")
            rep = "&";
        else if (name == "lt")
            rep = "<";
        else if (name == "gt")
            rep = ">";
        else if (name == "quot")
            rep = "\"";
        else if (name == "apos" || name == "#39")
            rep = "'";
        else if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            unsigned long cp = 0;
            try {
                cp = std::stoul(name.substr(hex ? 2 : 1), nullptr, hex ? 16 : 10);
            } catch (...) {
                cp = 0;
            }
            if (cp == 0 || cp > 0x10FFFF) {
                out += '&';
                continue;
            }
            if (cp < 0x80) {
                rep = static_cast<char>(cp);
            } else if (cp < 0x800) {
                rep += static_cast<char>(0xC0 | (cp >> 6));
                rep += static_cast<char>(0x80 | (cp & 0x3F));
            } else if (cp < 0x10000) {
                rep += static_cast<char>(0xE0 | (cp >> 12));
                rep += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                rep += static_cast<char>(0x80 | (cp & 0x3F));
            } else {
                rep += static_cast<char>(0xF0 | (cp >> 18));
                rep += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
                rep += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                rep += static_cast<char>(0x80 | (cp & 0x3F));
            }
        } else {
            out += '&';
            continue;
        }
        out += rep;
        i = semi;
    }
    return out;
}

// The value of attribute `name` in the text of a tag, or nullopt.
std::optional<std::string> attribute(std::string_view tag, std::string_view name) {
    const std::string low = lower(tag);
    size_t at = 0;
    while ((at = low.find(name, at)) != std::string::npos) {
        const bool startsWord = at > 0 && std::isspace(static_cast<unsigned char>(low[at - 1]));
        size_t p = at + name.size();
        while (p < low.size() && std::isspace(static_cast<unsigned char>(low[p])))
            ++p;
        if (!startsWord || p >= low.size() || low[p] != '=') {
            at += name.size();
            continue;
        }
        ++p;
        while (p < low.size() && std::isspace(static_cast<unsigned char>(low[p])))
            ++p;
        if (p < tag.size() && (tag[p] == '"' || tag[p] == '\'')) {
            const char q = tag[p];
            const size_t end = tag.find(q, p + 1);
            if (end == std::string_view::npos)
                return std::nullopt;
            return decodeEntities(tag.substr(p + 1, end - p - 1));
        }
        size_t end = p;
        while (end < tag.size() && !std::isspace(static_cast<unsigned char>(tag[end])) && tag[end] != '>')
            ++end;
        return decodeEntities(tag.substr(p, end - p));
    }
    return std::nullopt;
}

std::string joinFolders(const std::vector<std::string>& path) {
    std::string out;
    for (const std::string& part : path)
        out += (out.empty() ? "" : " / ") + part;
    return out;
}

ImportReader::Result readBookmarks(std::string_view text) {
    ImportReader::Result r;
    r.format = ImportReader::Format::Bookmarks;
    std::vector<std::string> path;
    std::string pendingFolder;
    bool pending = false;
    size_t i = 0;
    while ((i = text.find('<', i)) != std::string_view::npos) {
        const size_t close = text.find('>', i);
        if (close == std::string_view::npos)
            return refused(lineOf(text, i), "a tag is never closed");
        const std::string_view tag = text.substr(i + 1, close - i - 1);
        std::string name = lower(tag.substr(0, tag.find_first_of(" \t\r\n")));
        if (name == "h3") {
            const size_t end = lower(text.substr(close)).find("</h3>");
            pendingFolder =
                trim(decodeEntities(text.substr(close + 1, end == std::string::npos ? 0 : end - 1)));
            pending = true;
        } else if (name == "dl") {
            path.push_back(pending ? pendingFolder : std::string());
            if (pending && !pendingFolder.empty()) {
                std::vector<std::string> named;
                for (const std::string& p : path)
                    if (!p.empty())
                        named.push_back(p);
                r.folders.push_back(joinFolders(named));
            }
            pending = false;
        } else if (name == "/dl") {
            if (!path.empty())
                path.pop_back();
        } else if (name == "a") {
            ImportReader::Row row;
            row.line = lineOf(text, i);
            row.site.url = trim(attribute(tag, "href").value_or(""));
            const size_t end = lower(text.substr(close)).find("</a>");
            row.site.title =
                trim(decodeEntities(text.substr(close + 1, end == std::string::npos ? 0 : end - 1)));
            std::vector<std::string> named;
            for (const std::string& p : path)
                if (!p.empty())
                    named.push_back(p);
            row.folder = joinFolders(named);
            finish(row);
            r.rows.push_back(std::move(row));
        }
        i = close + 1;
    }
    r.ok = true;
    return r;
}

} // namespace

const char* ImportReader::formatName(Format format) {
    switch (format) {
    case Format::Json:
        return "Vantrel export";
    case Format::Csv:
        return "CSV";
    case Format::UrlList:
        return "list of URLs";
    case Format::Bookmarks:
        return "bookmarks";
    }
    return "";
}

bool ImportReader::inFolder(const std::string& folder, const std::string& chosen) {
    if (chosen.empty() || folder == chosen)
        return true;
    size_t start = 0;
    while (start <= folder.size()) {
        size_t end = folder.find(" / ", start);
        const std::string part =
            folder.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part == chosen)
            return true;
        if (end == std::string::npos)
            break;
        start = end + 3;
    }
    // A chosen path ("Bar / Work") covers its subfolders.
    return folder.rfind(chosen + " / ", 0) == 0;
}

std::string ImportReader::urlProblem(const std::string& url) {
    const std::string low = lower(url);
    if (low.rfind("http://", 0) != 0 && low.rfind("https://", 0) != 0)
        return "not an http:// or https:// URL";
    for (unsigned char c : url)
        if (c <= 0x20 || c == 0x7f)
            return "white space or a control character in the URL";
    const size_t hostStart = url.find("://") + 3;
    if (hostStart >= url.size() || url[hostStart] == '/' || url[hostStart] == '?' || url[hostStart] == '#')
        return "no host in the URL";
    return "";
}

ImportReader::Result ImportReader::read(std::string_view bytes) {
    std::string_view text = bytes;
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    if (const int line = firstBinaryLine(text))
        return refused(line, "binary data, not text");
    size_t first = 0;
    while (first < text.size() && std::isspace(static_cast<unsigned char>(text[first])))
        ++first;
    if (first == text.size()) {
        Result r;
        r.ok = true;
        return r; // an empty file imports nothing
    }
    if (text[first] == '{' || text[first] == '[')
        return readJson(text);
    const std::string head = lower(text.substr(0, 4096));
    if (head.find("<!doctype netscape-bookmark-file") != std::string::npos)
        return readBookmarks(text);
    const std::string_view firstLine = text.substr(first, text.find('\n', first) - first);
    if (looksLikeCsvHeader(firstLine))
        return readCsv(text);
    return readUrlList(text);
}

} // namespace vantrel

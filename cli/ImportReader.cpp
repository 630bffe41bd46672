#include "cli/ImportReader.h"

#include "cli/BookmarkFile.h"
#include "cli/ImportText.h"
#include "cli/SiteJson.h"
#include "model/SiteOptionKeys.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>

namespace vantrel {

namespace {

// --- JSON -----------------------------------------------------------------

ImportReader::Result readJson(std::string_view text) {
    nlohmann::json doc;
    try {
        doc = nlohmann::json::parse(text);
    } catch (const nlohmann::json::parse_error& e) {
        return ImportText::refused(ImportText::lineOf(text, e.byte > 0 ? e.byte - 1 : 0), "not valid JSON");
    }
    if (!doc.is_object() || doc.value("format", "") != "vantrel-export")
        return ImportText::refused(1, "not a Vantrel export (no \"format\": \"vantrel-export\")");
    const auto version = doc.find("schemaVersion");
    if (version == doc.end() || !version->is_number_integer())
        return ImportText::refused(1, "no schema version");
    if (version->get<long long>() > 1)
        return ImportText::refused(1, "schema version " + std::to_string(version->get<long long>()) +
                                          " is newer than this Vantrel reads (1)");
    const auto sites = doc.find("sites");
    if (sites == doc.end() || !sites->is_array())
        return ImportText::refused(1, "no \"sites\" list");
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
        ImportText::finish(row);
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
        const bool blank = rec.fields.size() == 1 && ImportText::trim(rec.fields[0]).empty();
        if (!blank)
            out.push_back(std::move(rec));
    }
    return true;
}

int columnOf(const std::vector<std::string>& header, std::initializer_list<const char*> names) {
    for (size_t c = 0; c < header.size(); ++c)
        for (const char* name : names)
            if (ImportText::lower(ImportText::trim(header[c])) == name)
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
        return ImportText::refused(bad, "a quoted field is never closed");
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
                row.site.title = ImportText::trim(rec.fields[static_cast<size_t>(title)]);
            row.site.url = ImportText::trim(rec.fields[static_cast<size_t>(url)]);
            if (testText >= 0)
                row.site.testString = rec.fields[static_cast<size_t>(testText)];
        }
        ImportText::finish(row);
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
    for (std::string_view raw : ImportText::splitLines(text)) {
        ++line;
        const std::string entry = ImportText::trim(raw);
        if (entry.empty() || entry[0] == '#')
            continue;
        ImportReader::Row row;
        row.line = line;
        row.site.url = entry;
        ImportText::finish(row);
        if (row.invalid.empty())
            anyGood = true;
        else if (!firstBad)
            firstBad = line;
        r.rows.push_back(std::move(row));
    }
    // Not one URL: this is no list of URLs, but some other file.
    if (!anyGood && firstBad)
        return ImportText::refused(firstBad, "not a URL, a CSV header, a bookmark file or a Vantrel export");
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
    const std::string low = ImportText::lower(url);
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
    if (const int line = ImportText::firstBinaryLine(text))
        return ImportText::refused(line, "binary data, not text");
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
    const std::string head = ImportText::lower(text.substr(0, 4096));
    if (head.find("<!doctype netscape-bookmark-file") != std::string::npos)
        return BookmarkFile::read(text);
    const std::string_view firstLine = text.substr(first, text.find('\n', first) - first);
    if (looksLikeCsvHeader(firstLine))
        return readCsv(text);
    return readUrlList(text);
}

} // namespace vantrel

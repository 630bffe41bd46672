#include "cli/ImportText.h"

#include "monitor/CheckRules.h"

#include <algorithm>
#include <cctype>

namespace vantrel {

std::string ImportText::lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

std::string ImportText::trim(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1])))
        --e;
    return std::string(text.substr(b, e - b));
}

int ImportText::lineOf(std::string_view text, size_t offset) {
    offset = std::min(offset, text.size());
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(offset), '\n'));
}

ImportReader::Result ImportText::refused(int line, std::string message) {
    ImportReader::Result r;
    r.errorLine = line;
    r.error = std::move(message);
    return r;
}

int ImportText::firstBinaryLine(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n' && c != '\f') || c == 0x7f)
            return lineOf(text, i);
    }
    return 0;
}

std::vector<std::string_view> ImportText::splitLines(std::string_view text) {
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

void ImportText::finish(ImportReader::Row& row) {
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

} // namespace vantrel

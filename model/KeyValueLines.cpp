#include "model/KeyValueLines.h"

#include "model/TextUtil.h"

namespace vantrel {

namespace {

std::string_view trim(std::string_view s) {
    s = text::trimRight(s);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    return s;
}

} // namespace

void KeyValueLines::forEach(std::string_view text, const Visitor& visit) {
    size_t start = 0;
    while (start < text.size()) {
        size_t lf = text.find('\n', start);
        if (lf == std::string_view::npos)
            return; // a last line without a line end is not processed
        std::string_view line = text::trimRight(text.substr(start, lf - start));
        start = lf + 1;
        size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            visit(line, std::string_view());
        else
            visit(line.substr(0, eq), line.substr(eq + 1));
    }
}

void KeyValueLines::forEachLenient(std::string_view text, const Visitor& visit) {
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    while (!text.empty()) {
        // CR LF is one line end, and so is a CR or an LF alone.
        const size_t end = text.find_first_of("\r\n");
        const std::string_view line = text.substr(0, end);
        size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (next < text.size() && text[end] == '\r' && text[next] == '\n')
            ++next;
        text.remove_prefix(next);
        const size_t eq = line.find('=');
        if (eq != std::string_view::npos)
            visit(trim(line.substr(0, eq)), trim(line.substr(eq + 1)));
    }
}

} // namespace vantrel

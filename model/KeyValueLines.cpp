#include "model/KeyValueLines.h"

#include "model/TextUtil.h"

namespace vantrel {

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

} // namespace vantrel

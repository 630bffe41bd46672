#include "monitor/ReasonText.h"

#include <cstdio>

namespace vantrel {

std::string ReasonText::clip(std::string_view text) {
    std::string out;
    size_t end = text.size();
    bool cut = false;
    if (end > kMaxQuoted) {
        end = kMaxQuoted;
        // Back to the start of a UTF-8 character.
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            --end;
        cut = true;
    }
    for (char c : text.substr(0, end))
        out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? ' ' : c;
    if (cut)
        out += "...";
    return out;
}

std::string ReasonText::quoted(std::string_view text) {
    return "\"" + clip(text) + "\"";
}

std::string ReasonText::seconds(int ms, int apart) {
    auto format = [](int v, int decimals) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.*f", decimals, v / 1000.0);
        std::string s = buf;
        if (s.find('.') != std::string::npos) {
            while (s.back() == '0')
                s.pop_back();
            if (s.back() == '.')
                s.pop_back();
        }
        return s;
    };
    std::string s = format(ms, 1);
    for (int decimals = 2; apart >= 0 && decimals <= 3 && s == format(apart, 1); ++decimals)
        s = format(ms, decimals);
    return s;
}

} // namespace vantrel

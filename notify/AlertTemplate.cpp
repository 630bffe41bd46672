#include "notify/AlertTemplate.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace vantrel {

namespace {

const std::string* fieldOf(const AlertMessage& m, std::string_view name, std::string& composed) {
    if (name == "title")
        return &m.title;
    if (name == "url")
        return &m.url;
    if (name == "state")
        return &m.state;
    if (name == "reason")
        return &m.reason;
    if (name == "time")
        return &m.time;
    if (name == "downsince")
        return &m.downSince;
    if (name == "duration")
        return &m.duration;
    if (name == "lastgood")
        return &m.lastGood;
    if (name == "page")
        return &m.page;
    if (name == "headline") {
        composed = m.headline();
        return &composed;
    }
    if (name == "text") {
        composed = m.text();
        return &composed;
    }
    return nullptr;
}

// The length of the UTF-8 sequence that starts `s` at `i`, or 0 when the
// bytes there are not one.
size_t utf8Length(std::string_view s, size_t i) {
    const auto b = static_cast<unsigned char>(s[i]);
    size_t n = 0;
    unsigned min = 0;
    unsigned cp = 0;
    if (b < 0x80)
        return 1;
    if ((b & 0xE0) == 0xC0)
        n = 2, min = 0x80, cp = b & 0x1F;
    else if ((b & 0xF0) == 0xE0)
        n = 3, min = 0x800, cp = b & 0x0F;
    else if ((b & 0xF8) == 0xF0)
        n = 4, min = 0x10000, cp = b & 0x07;
    else
        return 0;
    if (i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        const auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

} // namespace

std::string AlertTemplate::jsonEscape(std::string_view value) {
    std::string out;
    out.reserve(value.size() + 8);
    for (size_t i = 0; i < value.size();) {
        const auto c = static_cast<unsigned char>(value[i]);
        const size_t n = utf8Length(value, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (n > 1) {
            out.append(value.substr(i, n));
            i += n;
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    return out;
}

std::string AlertTemplate::headerValue(std::string_view value) {
    std::string out;
    for (char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        out += (c < 0x20 || c == 0x7F) ? ' ' : ch;
        if (out.size() >= kMaxHeaderValue)
            break;
    }
    // Blanks at either end are not part of a header value.
    const size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

std::string AlertTemplate::expand(const AlertMessage& message, Escape escape) const {
    std::string out;
    out.reserve(text_.size() + 64);
    std::string composed;
    size_t i = 0;
    while (i < text_.size()) {
        const size_t open = text_.find('{', i);
        if (open == std::string::npos) {
            out.append(text_, i, std::string::npos);
            break;
        }
        out.append(text_, i, open - i);
        const size_t close = text_.find('}', open + 1);
        const std::string* value =
            close == std::string::npos
                ? nullptr
                : fieldOf(message, std::string_view(text_).substr(open + 1, close - open - 1), composed);
        if (!value) {
            out += '{';
            i = open + 1;
            continue;
        }
        out += escape == Escape::Json ? jsonEscape(*value) : *value;
        i = close + 1;
    }
    return out;
}

std::optional<std::string> AlertTemplate::expandJson(const AlertMessage& message) const {
    std::string body = expand(message, Escape::Json);
    if (!nlohmann::json::accept(body))
        return std::nullopt;
    return body;
}

std::optional<std::string> AlertTemplate::jsonProblem() const {
    // Empty values, and values that would break out of a string or show a
    // placeholder that stands outside one.
    const std::string tricky = "a\"b\\c\nd}{e,f:1]";
    const AlertMessage m{tricky, tricky, tricky, tricky, tricky, tricky, tricky, tricky, tricky};
    if (!nlohmann::json::accept(expand(AlertMessage{}, Escape::Json)) ||
        !nlohmann::json::accept(expand(m, Escape::Json)))
        return "The template is not valid JSON once filled in: check its quotes and braces, and put every "
               "placeholder inside a JSON string (\"{title}\").";
    return std::nullopt;
}

} // namespace vantrel

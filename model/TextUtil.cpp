#include "model/TextUtil.h"

#include <algorithm>
#include <limits>

namespace vantrel::text {

long long atoiLike(std::string_view s) {
    size_t i = 0;
    while (i < s.size() &&
           (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\v' || s[i] == '\f' || s[i] == '\r'))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    long long value = 0;
    constexpr long long kMax = std::numeric_limits<long long>::max() / 10 - 10;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        if (value < kMax)
            value = value * 10 + (s[i] - '0');
    }
    return negative ? -value : value;
}

std::string_view trimRight(std::string_view s) {
    size_t n = s.size();
    while (n > 0) {
        char c = s[n - 1];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f')
            --n;
        else
            break;
    }
    return s.substr(0, n);
}

std::string normalizeCrLf(std::string_view s) {
    std::string out;
    out.reserve(s.size() + s.size() / 16 + 2);
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')
            continue; // the "\n" that follows brings its own CR
        if (s[i] == '\n')
            out += '\r';
        out += s[i];
    }
    return out;
}

std::string removeAll(std::string_view s, std::string_view what) {
    std::string out;
    if (what.empty())
        return std::string(s);
    size_t pos = 0;
    while (true) {
        size_t hit = s.find(what, pos);
        if (hit == std::string_view::npos) {
            out.append(s.substr(pos));
            return out;
        }
        out.append(s.substr(pos, hit - pos));
        pos = hit + what.size();
    }
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(s[i]) != lower(prefix[i]))
            return false;
    }
    return true;
}

std::string base64(std::string_view bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (n > 1)
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (n > 2)
            v |= static_cast<unsigned char>(bytes[i + 2]);
        out += kDigits[(v >> 18) & 63];
        out += kDigits[(v >> 12) & 63];
        out += n > 1 ? kDigits[(v >> 6) & 63] : '=';
        out += n > 2 ? kDigits[v & 63] : '=';
    }
    return out;
}

} // namespace vantrel::text

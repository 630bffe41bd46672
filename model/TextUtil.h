#pragma once

#include <string>
#include <string_view>

namespace vantrel::text {

inline bool contains(std::string_view haystack, std::string_view needle) {
    return haystack.find(needle) != std::string_view::npos;
}

// Reads a decimal number the way the C function atoi does: leading white
// space and one sign allowed, stops at the first other character, 0 when
// there are no digits. Saturates instead of overflowing.
long long atoiLike(std::string_view s);

// Removes trailing space, tab, CR, LF, vertical tab and form feed.
std::string_view trimRight(std::string_view s);

// Every "\r\n" becomes "\n", then every "\n" becomes "\r\n".
std::string normalizeCrLf(std::string_view s);

// Removes every occurrence of `what` from `s`.
std::string removeAll(std::string_view s, std::string_view what);

// Compares the first n characters of a and b without regard to ASCII case;
// false when either is shorter than n.
bool startsWithNoCase(std::string_view s, std::string_view prefix);

// Standard base64 (RFC 4648) with padding, on one line.
std::string base64(std::string_view bytes);

} // namespace vantrel::text

#pragma once

#include <functional>
#include <string_view>

namespace vantrel {

// Splits the text of a data file into KEY=value lines the way both data file
// readers do: only lines that end with LF count (a last line without one is
// ignored), trailing white space (CR included, so CR LF and LF files read the
// same) is removed, the key is the text before the first "=" and the value
// all the text after it. A line without "=" is all key with an empty value.
class KeyValueLines {
public:
    using Visitor = std::function<void(std::string_view key, std::string_view value)>;
    static void forEach(std::string_view text, const Visitor& visit);
};

} // namespace vantrel

#pragma once

#include <functional>
#include <string_view>

namespace vantrel {

// Splits the text of a data file into KEY=value lines.
class KeyValueLines {
public:
    using Visitor = std::function<void(std::string_view key, std::string_view value)>;

    // The way the readers of vantrel.dat and vantrel.ini split it: only
    // lines that end with LF count (a last line without one is ignored),
    // trailing white space (CR included, so CR LF and LF files read the
    // same) is removed, the key is the text before the first "=" and the
    // value all the text after it. A line without "=" is all key with an
    // empty value.
    static void forEach(std::string_view text, const Visitor& visit);

    // The lenient way, for a file only this program writes
    // (vantrel-extra.ini): CR LF, LF or CR line ends, a UTF-8 byte order
    // mark at the start, a last line without a line end, and white space
    // around the key and the value. Lines without "=" are skipped.
    static void forEachLenient(std::string_view text, const Visitor& visit);
};

} // namespace vantrel

#pragma once

#include "cli/ImportReader.h"

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// Text handling shared by the readers of each import format.
struct ImportText {
    static std::string lower(std::string_view text);
    static std::string trim(std::string_view text);
    // The line of byte `offset`, from 1.
    static int lineOf(std::string_view text, size_t offset);
    // A file refused as a whole, at `line`.
    static ImportReader::Result refused(int line, std::string message);
    // The first line holding a byte that text files do not hold (NUL, control
    // characters but tab, line ends and form feed), or 0.
    static int firstBinaryLine(std::string_view text);
    static std::vector<std::string_view> splitLines(std::string_view text);
    // Completes a row read from any format: a title from its URL where it has
    // none, and the reason it cannot be a site where there is one.
    static void finish(ImportReader::Row& row);
};

} // namespace vantrel

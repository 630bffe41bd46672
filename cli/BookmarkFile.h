#pragma once

#include "cli/ImportReader.h"

#include <string_view>

namespace vantrel {

// Reads the Netscape bookmark file that browsers export: each bookmark
// becomes a row that keeps its folder path ("Bar / Work"), and every folder
// is listed in file order so that one can be chosen.
class BookmarkFile {
public:
    static ImportReader::Result read(std::string_view text);
};

} // namespace vantrel

#pragma once

#include "model/SiteEntry.h"

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// Reads a file to import sites from, in one of four forms, told apart by
// their content:
//  - the JSON export of this program (ExportDocument);
//  - CSV with a header row naming a "url" column, and "title" and "text"
//    columns where there are (RFC 4180 quoting);
//  - a plain list of URLs, one a line ("#" starts a comment line);
//  - the Netscape bookmark file that browsers export, whose folders are kept
//    with each bookmark so that one folder can be chosen.
// A file that is none of these (binary bytes, broken quoting or JSON, no
// URL at all) is refused as a whole, naming the line. Rows that cannot be
// sites are kept with the reason, so the user sees them.
class ImportReader {
public:
    enum class Format { Json, Csv, UrlList, Bookmarks };

    struct Row {
        int line = 0; // where the row starts in the file, from 1
        SiteEntry site;
        std::string folder;  // bookmarks: the folder path, "Bar / Work"
        std::string invalid; // why the row cannot be a site; empty when it can
    };

    struct Result {
        bool ok = false;
        int errorLine = 0; // when refused: the line at fault
        std::string error; // when refused: what is wrong there
        Format format = Format::UrlList;
        std::vector<Row> rows;
        std::vector<std::string> folders; // bookmarks: every folder path, in file order
    };

    static Result read(std::string_view bytes);

    static const char* formatName(Format format);
    // Whether a bookmark in `folder` lies in the chosen folder: the chosen
    // name is one of the folders of its path (so its subfolders count too).
    static bool inFolder(const std::string& folder, const std::string& chosen);
    // Why `url` cannot be monitored, or empty.
    static std::string urlProblem(const std::string& url);
};

} // namespace vantrel

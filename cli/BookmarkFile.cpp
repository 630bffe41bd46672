#include "cli/BookmarkFile.h"

#include "cli/ImportText.h"

#include <cctype>
#include <optional>

namespace vantrel {

namespace {

std::string decodeEntities(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const size_t semi = text.find(';', i);
        if (semi == std::string_view::npos || semi - i > 10) {
            out += '&';
            continue;
        }
        const std::string name(text.substr(i + 1, semi - i - 1));
        std::string rep;
        if (name == "amp")
            rep = "&";
        else if (name == "lt")
            rep = "<";
        else if (name == "gt")
            rep = ">";
        else if (name == "quot")
            rep = "\"";
        else if (name == "apos" || name == "#39")
            rep = "'";
        else if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            unsigned long cp = 0;
            try {
                cp = std::stoul(name.substr(hex ? 2 : 1), nullptr, hex ? 16 : 10);
            } catch (...) {
                cp = 0;
            }
            if (cp == 0 || cp > 0x10FFFF) {
                out += '&';
                continue;
            }
            if (cp < 0x80) {
                rep = static_cast<char>(cp);
            } else if (cp < 0x800) {
                rep += static_cast<char>(0xC0 | (cp >> 6));
                rep += static_cast<char>(0x80 | (cp & 0x3F));
            } else if (cp < 0x10000) {
                rep += static_cast<char>(0xE0 | (cp >> 12));
                rep += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                rep += static_cast<char>(0x80 | (cp & 0x3F));
            } else {
                rep += static_cast<char>(0xF0 | (cp >> 18));
                rep += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
                rep += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                rep += static_cast<char>(0x80 | (cp & 0x3F));
            }
        } else {
            out += '&';
            continue;
        }
        out += rep;
        i = semi;
    }
    return out;
}

// The value of attribute `name` in the text of a tag, or nullopt.
std::optional<std::string> attribute(std::string_view tag, std::string_view name) {
    const std::string low = ImportText::lower(tag);
    size_t at = 0;
    while ((at = low.find(name, at)) != std::string::npos) {
        const bool startsWord = at > 0 && std::isspace(static_cast<unsigned char>(low[at - 1]));
        size_t p = at + name.size();
        while (p < low.size() && std::isspace(static_cast<unsigned char>(low[p])))
            ++p;
        if (!startsWord || p >= low.size() || low[p] != '=') {
            at += name.size();
            continue;
        }
        ++p;
        while (p < low.size() && std::isspace(static_cast<unsigned char>(low[p])))
            ++p;
        if (p < tag.size() && (tag[p] == '"' || tag[p] == '\'')) {
            const char q = tag[p];
            const size_t end = tag.find(q, p + 1);
            if (end == std::string_view::npos)
                return std::nullopt;
            return decodeEntities(tag.substr(p + 1, end - p - 1));
        }
        size_t end = p;
        while (end < tag.size() && !std::isspace(static_cast<unsigned char>(tag[end])) && tag[end] != '>')
            ++end;
        return decodeEntities(tag.substr(p, end - p));
    }
    return std::nullopt;
}

std::string joinFolders(const std::vector<std::string>& path) {
    std::string out;
    for (const std::string& part : path)
        out += (out.empty() ? "" : " / ") + part;
    return out;
}

} // namespace

ImportReader::Result BookmarkFile::read(std::string_view text) {
    ImportReader::Result r;
    r.format = ImportReader::Format::Bookmarks;
    std::vector<std::string> path;
    std::string pendingFolder;
    bool pending = false;
    size_t i = 0;
    while ((i = text.find('<', i)) != std::string_view::npos) {
        const size_t close = text.find('>', i);
        if (close == std::string_view::npos)
            return ImportText::refused(ImportText::lineOf(text, i), "a tag is never closed");
        const std::string_view tag = text.substr(i + 1, close - i - 1);
        std::string name = ImportText::lower(tag.substr(0, tag.find_first_of(" \t\r\n")));
        if (name == "h3") {
            const size_t end = ImportText::lower(text.substr(close)).find("</h3>");
            pendingFolder = ImportText::trim(
                decodeEntities(text.substr(close + 1, end == std::string::npos ? 0 : end - 1)));
            pending = true;
        } else if (name == "dl") {
            path.push_back(pending ? pendingFolder : std::string());
            if (pending && !pendingFolder.empty()) {
                std::vector<std::string> named;
                for (const std::string& p : path)
                    if (!p.empty())
                        named.push_back(p);
                r.folders.push_back(joinFolders(named));
            }
            pending = false;
        } else if (name == "/dl") {
            if (!path.empty())
                path.pop_back();
        } else if (name == "a") {
            ImportReader::Row row;
            row.line = ImportText::lineOf(text, i);
            row.site.url = ImportText::trim(attribute(tag, "href").value_or(""));
            const size_t end = ImportText::lower(text.substr(close)).find("</a>");
            row.site.title = ImportText::trim(
                decodeEntities(text.substr(close + 1, end == std::string::npos ? 0 : end - 1)));
            std::vector<std::string> named;
            for (const std::string& p : path)
                if (!p.empty())
                    named.push_back(p);
            row.folder = joinFolders(named);
            ImportText::finish(row);
            r.rows.push_back(std::move(row));
        }
        i = close + 1;
    }
    r.ok = true;
    return r;
}

} // namespace vantrel

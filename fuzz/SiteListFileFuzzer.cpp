// Fuzzes the reader of vantrel.dat. Whatever the bytes, reading ends, every
// record it keeps has a title and a URL, no value holds a line end or ends
// in white space, and the records read, saved and read again come back
// unchanged.
#include "fuzz/FuzzCheck.h"
#include "model/SiteListFile.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using vantrel::fuzz::FuzzCheck;

namespace {

bool cleanValue(std::string_view v) {
    return v.find('\n') == std::string_view::npos &&
           (v.empty() || std::string_view(" \t\r\n\v\f").find(v.back()) == std::string_view::npos);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    vantrel::SiteEntry entry;
    const std::vector<vantrel::SiteEntry> records = vantrel::SiteListFile::parse(bytes, entry);

    for (const vantrel::SiteEntry& r : records) {
        FuzzCheck::require(!r.title.empty() && !r.url.empty(), "a kept record has a title and a URL");
        for (const std::string* v : {&r.title, &r.url, &r.testString, &r.action, &r.errorUrl, &r.createDate,
                                     &r.checkDate, &r.status})
            FuzzCheck::require(cleanValue(*v), "values hold no line end and no trailing white space");
    }

    vantrel::SiteList list;
    list.insertAllAtTop(records);
    const std::string saved = vantrel::SiteListFile::serialize(list);
    vantrel::SiteEntry fresh;
    FuzzCheck::require(vantrel::SiteListFile::parse(saved, fresh) == records,
                       "saved records read back the same");
    return 0;
}

// Fuzzes the reader of vantrel.ini. Whatever the bytes, reading ends, no
// value holds "=" or a line end, and settings once saved and read back stay
// the same through every further save and read. (The first round may still
// drop white space that the removal of "=" signs left at a value's end.)
#include "fuzz/FuzzCheck.h"
#include "model/SettingsFile.h"
#include "model/TextUtil.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

using vantrel::fuzz::FuzzCheck;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    vantrel::Settings settings;
    vantrel::SettingsFile::parse(bytes, settings);

    const auto fields = [](const vantrel::Settings& s) {
        return std::vector<const std::string*>{&s.yourName,   &s.yourEmail,  &s.email1,  &s.email2,
                                               &s.logFile,    &s.errorSound, &s.notify,  &s.interval,
                                               &s.smtpServer, &s.toolTips,   &s.monitor, &s.everyError};
    };
    for (const std::string* v : fields(settings))
        FuzzCheck::require(v->find_first_of("=\n") == std::string::npos,
                           "values hold no \"=\" and no line end");

    auto reread = [](const vantrel::Settings& s) {
        vantrel::Settings read;
        vantrel::SettingsFile::parse(vantrel::SettingsFile::serialize(s), read);
        return read;
    };
    const vantrel::Settings once = reread(settings);
    FuzzCheck::require(reread(once) == once, "saved settings read back the same");
    const auto saved = fields(once);
    const auto read = fields(settings);
    for (std::size_t i = 0; i < saved.size(); ++i)
        FuzzCheck::require(*saved[i] == vantrel::text::trimRight(*read[i]),
                           "a save drops nothing but white space at a value's end");
    return 0;
}

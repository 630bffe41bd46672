// Fuzzes the readers of vantrel.ini and vantrel-extra.ini. Whatever the
// bytes, reading ends, no value of vantrel.ini holds "=" or a line end, and
// settings once saved and read back stay the same through every further
// save and read. (The first round of vantrel.ini may still drop white space
// that the removal of "=" signs left at a value's end.) The extra file's
// settings, with the lines it keeps as they were, read back exactly from
// what is written for them.
#include "fuzz/FuzzCheck.h"
#include "model/ExtraSettingsFile.h"
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

    vantrel::ExtraSettings extra;
    vantrel::ExtraSettingsFile::parse(bytes, extra);
    const std::string written = vantrel::ExtraSettingsFile::serialize(extra);
    vantrel::ExtraSettings back;
    vantrel::ExtraSettingsFile::parse(written, back);
    FuzzCheck::require(back == extra, "extra settings read back as they were written");
    FuzzCheck::require(vantrel::ExtraSettingsFile::serialize(back) == written,
                       "a second save writes the same bytes");
    return 0;
}

#pragma once

#include "model/ExtraSettings.h"

#include <string>
#include <string_view>

namespace vantrel {

// The file "vantrel-extra.ini" beside vantrel.ini: a header line, one
// KEY=value line per setting and an empty last line, CR LF line ends, read
// by the same line rules as the other data files. Unknown keys are ignored,
// and a value that does not read as its setting leaves the setting as it was,
// so a hand-edited file never switches a feature into a state it cannot have.
class ExtraSettingsFile {
public:
    static constexpr const char* kFileName = "vantrel-extra.ini";

    static std::string serialize(const ExtraSettings& settings);
    static void parse(std::string_view bytes, ExtraSettings& settings);

    // The ranges numbers are clamped to.
    static constexpr int kMaxParallelFetches = 64;
    static constexpr int kMaxConfirmAttempts = 10;
    static constexpr int kMaxCertWarnDays = 365;
    static constexpr int kMaxHistoryDays = 3650;
    static constexpr int kMinHistoryMb = 1;
    static constexpr int kMaxHistoryMb = 1 << 20;

    static const char* securityName(MailSecurity security);
};

} // namespace vantrel

#pragma once

#include "model/ExtraSettings.h"
#include "model/ExtraSettingsKeys.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// The file "vantrel-extra.ini" beside vantrel.ini: a header line, one
// KEY=value line per key of the table (extraSettingKeys) in its order, the
// lines no key took, and an empty last line, CR LF line ends.
//
// The file is read leniently, as only this program writes it: any line end,
// a UTF-8 byte order mark, a last line without a line end, white space
// around "=". A key with a value it cannot hold keeps its default, and the
// line stays in the file as it was while the key keeps that default; a
// number beyond its range is brought into it. Unknown keys are kept too.
class ExtraSettingsFile {
public:
    static constexpr const char* kFileName = "vantrel-extra.ini";

    // What a reading found.
    struct Reading {
        // Lines that look like KEY=value (the header included). None in a
        // file that holds bytes means it could not be read at all: another
        // encoding, another program's file, random bytes.
        int lines = 0;
        // One sentence for each key whose value was refused or brought into
        // range, each key once.
        std::vector<std::string> problems;
    };

    // Loading the file at start: what the user and the log are to be told.
    struct Loaded {
        std::vector<std::string> problems; // Reading::problems, for the log
        // For the user, once: the file could not be read, where its bytes
        // were kept and which settings are at their defaults for now.
        std::string message;
        // The file holds bytes no one could read or keep: it is never
        // written over in this run.
        bool held = false;
    };

    // Reads the file in the current directory into `settings`, when it
    // exists. A file that holds bytes but not one KEY=value line (another
    // encoding, random bytes) is kept beside it as
    // "vantrel-extra.ini.unreadable-<stamp>" (DataFile::keepCopy) and its
    // settings keep their defaults; one that cannot be kept, or cannot be
    // read at all, is held.
    static Loaded load(ExtraSettings& settings, const std::string& stamp);

    static std::string serialize(const ExtraSettings& settings,
                                 std::span<const SettingKey> keys = extraSettingKeys());
    static Reading parse(std::string_view bytes, ExtraSettings& settings,
                         std::span<const SettingKey> keys = extraSettingKeys());

    // The ranges numbers are clamped to.
    static constexpr int kMaxParallelFetches = 64;
    static constexpr int kMaxConfirmAttempts = 10;
    static constexpr int kMaxCertWarnDays = 365;
    static constexpr int kMaxRemindEvery = 7 * 24 * 60;
    static constexpr int kMaxReminders = 1000;
    static constexpr int kMaxHistoryDays = 3650;
    static constexpr int kMinHistoryMb = 1;
    static constexpr int kMaxHistoryMb = 1 << 20;
    static constexpr int kMaxHistoryPane = 100000;
};

} // namespace vantrel

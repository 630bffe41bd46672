#pragma once

#include "model/ExtraSettings.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// One row of the table of vantrel-extra.ini's keys: the key's name, its
// type, its range or choices and the comment that says what it does, and
// the way its value reaches its field of ExtraSettings. The file's reader
// and writer, the Preferences dialog and the manual's table all follow the
// rows, so a new setting is a field in ExtraSettings and one row.
//
// A key's default is what its field holds in a default-made ExtraSettings,
// so the default is written once, where the field is.
//
// A numbered family (CHANNEL1, CHANNEL2, ..., each with CHANNEL1TOKENFILE
// beside it) is a row per key of a member: the stem ("CHANNEL"), the text
// after the number ("" or "TOKENFILE"), and a map from the number to the
// value. Numbers run from 1 to kMaxNumber, written without leading zeros.
class SettingKey {
public:
    enum class Type {
        Switch, // "yes" or "no"
        Number, // a whole number within a range
        Choice, // one of a few names
        Text,   // any text on one line
        Path,   // a file's name or path
    };
    // How a value was taken: as it was, brought into range, or not at all.
    enum class Taken { Yes, Clamped, Refused };

    using Numbered = std::map<int, std::string>;
    using TextCheck = std::function<bool(std::string_view)>;
    static constexpr int kMaxNumber = 99;

    static SettingKey yesNo(std::string name, bool ExtraSettings::*field, std::string comment);
    static SettingKey number(std::string name, int ExtraSettings::*field, int low, int high,
                             std::string comment);
    // `names` in the order of the enumeration's values.
    template <class Enum>
    static SettingKey choice(std::string name, Enum ExtraSettings::*field, std::vector<std::string> names,
                             std::string comment);
    // `check`, when given, refuses texts the setting cannot use.
    static SettingKey text(std::string name, std::string ExtraSettings::*field, std::string comment,
                           Type type = Type::Text, TextCheck check = {});
    static SettingKey family(std::string stem, std::string suffix, Numbered ExtraSettings::*field,
                             std::string comment, Type type = Type::Text, TextCheck check = {});
    // The same with the field reached through a function.
    static SettingKey family(std::string stem, std::string suffix,
                             std::function<Numbered&(ExtraSettings&)> field, std::string comment,
                             Type type = Type::Text, TextCheck check = {});

    // The key as written in the file: the name, or for a family the stem,
    // the number and the suffix.
    std::string name(int number = 0) const;
    // The key as the manual shows it: a family's number is "n".
    std::string pattern() const;
    // 0 when `key` is this single key, the number when it is a member of
    // this family, nullopt otherwise.
    std::optional<int> matches(std::string_view key) const;

    bool isFamily() const { return family_; }
    const std::string& stem() const { return stem_; }
    Type type() const { return type_; }
    int low() const { return low_; }
    int high() const { return high_; }
    const std::vector<std::string>& choices() const { return choices_; }
    const std::string& comment() const { return comment_; }
    // The values a key takes, in words: "yes or no", "1 to 64", "none,
    // starttls or tls", "text", "a path".
    std::string rangeText() const;
    // The comment as a sentence with the range of a number and the default,
    // for a control's tool tip: "Pages fetched at once during a pass (1 to
    // 64). Default: 8."
    std::string help() const;

    // The value as the file holds it; nullopt for a family member that is
    // not set.
    std::optional<std::string> value(const ExtraSettings& settings, int number = 0) const;
    std::string defaultValue() const;
    // The numbers of a family that are set, in order (empty for a single key).
    std::vector<int> numbers(const ExtraSettings& settings) const;

    // Stores `text` as the key's value when the key can hold it; a number
    // beyond the range is brought into it. A value taken replaces a line of
    // the key kept in ExtraSettings::otherLines.
    Taken set(ExtraSettings& settings, std::string_view text, int number = 0) const;

    // A key the program keeps for itself (not a setting of Preferences) is
    // written only once it differs from its default, so files written
    // before it existed keep their bytes.
    SettingKey& writtenWhenChanged() {
        writtenWhenChanged_ = true;
        return *this;
    }
    bool isWrittenWhenChanged() const { return writtenWhenChanged_; }

private:
    using Get = std::function<std::optional<std::string>(const ExtraSettings&, int)>;
    using Put = std::function<Taken(ExtraSettings&, int, std::string_view)>;
    SettingKey(std::string name, Type type, std::string comment, Get get, Put put);

    std::string stem_;
    std::string suffix_;
    bool family_ = false;
    bool writtenWhenChanged_ = false;
    Type type_;
    int low_ = 0;
    int high_ = 0;
    std::vector<std::string> choices_;
    std::string comment_;
    Get get_;
    Put put_;
    std::function<std::vector<int>(const ExtraSettings&)> numbers_;
};

template <class Enum>
SettingKey SettingKey::choice(std::string name, Enum ExtraSettings::*field, std::vector<std::string> names,
                              std::string comment) {
    SettingKey key(
        std::move(name), Type::Choice, std::move(comment),
        [field, names](const ExtraSettings& s, int) {
            return std::optional<std::string>(names.at(static_cast<size_t>(s.*field)));
        },
        [field, names](ExtraSettings& s, int, std::string_view text) {
            for (size_t i = 0; i < names.size(); ++i) {
                if (names[i] == text) {
                    s.*field = static_cast<Enum>(i);
                    return Taken::Yes;
                }
            }
            return Taken::Refused;
        });
    key.choices_ = std::move(names);
    return key;
}

} // namespace vantrel

#include "model/ExtraSettingsFile.h"

#include "model/DataFile.h"
#include "model/KeyValueLines.h"
#include "model/KeyValueWriter.h"

#include <algorithm>
#include <set>
#include <unistd.h>

namespace vantrel {

namespace {

// A key as this program writes them: printable ASCII without blanks. Lines
// of another encoding or of random bytes have none.
bool looksLikeKey(std::string_view key) {
    return !key.empty() && std::all_of(key.begin(), key.end(), [](char c) { return c > ' ' && c < 0x7f; });
}

std::string problemText(const SettingKey& key, std::string_view name, std::string_view value,
                        SettingKey::Taken taken, const std::string& used) {
    std::string why;
    if (taken == SettingKey::Taken::Clamped)
        why = "is outside " + key.rangeText();
    else if (key.type() == SettingKey::Type::Number)
        why = "is not a whole number";
    else if (key.type() == SettingKey::Type::Switch || key.type() == SettingKey::Type::Choice)
        why = "is not " + key.rangeText();
    else
        why = "cannot be used";
    return std::string(ExtraSettingsFile::kFileName) + ": " + std::string(name) + "=" + std::string(value) +
           " " + why + "; " + (used.empty() ? std::string("an empty value") : used) + " is used" +
           (taken == SettingKey::Taken::Refused ? " for now." : ".");
}

const std::string* keptLine(const ExtraSettings& s, const std::string& key) {
    for (const auto& [k, v] : s.otherLines)
        if (k == key)
            return &v;
    return nullptr;
}

// The keys whose lines a file that could not be read seems to hold: their
// names followed by "=" (or a family's stem by a number), once NUL bytes are
// gone, so a file saved as UTF-16 still names them.
std::string keysIn(std::string_view bytes) {
    std::string plain;
    std::copy_if(bytes.begin(), bytes.end(), std::back_inserter(plain), [](char c) { return c != '\0'; });
    std::string names;
    for (const SettingKey& key : extraSettingKeys()) {
        const std::string& stem = key.stem();
        for (size_t at = plain.find(stem); at != std::string::npos; at = plain.find(stem, at + 1)) {
            const size_t next = plain.find_first_not_of(" \t", at + stem.size());
            const char after = next < plain.size() ? plain[next] : '\0';
            if (key.isFamily() ? (after >= '1' && after <= '9') : after == '=') {
                names += (names.empty() ? "" : ", ") + key.pattern();
                break;
            }
        }
    }
    return names;
}

std::string lostSettings(std::string_view bytes) {
    const std::string names = keysIn(bytes);
    return names.empty() ? "Every setting of this file is at its default until you set it again."
                         : "These settings are at their defaults until you set them again: " + names + ".";
}

} // namespace

ExtraSettingsFile::Loaded ExtraSettingsFile::load(ExtraSettings& settings, const std::string& stamp) {
    Loaded loaded;
    if (::access(kFileName, F_OK) != 0)
        return loaded; // no file: every setting has its default
    const std::string name = kFileName;
    const std::optional<std::string> bytes = DataFile::readOrCreate(name);
    if (!bytes) {
        // Bytes no one may read (no read permission) cannot be kept either.
        loaded.held = DataFile::holdsBytes(name);
        if (loaded.held)
            loaded.message = name +
                             " cannot be read. It is left as it is and not written over; its settings are "
                             "at their defaults for this run.";
        return loaded;
    }
    const Reading reading = parse(*bytes, settings);
    loaded.problems = reading.problems;
    if (reading.lines > 0 || bytes->find_first_not_of(" \t\r\n") == std::string::npos)
        return loaded;
    settings = ExtraSettings{};
    if (const std::optional<std::string> kept = DataFile::keepCopy(name, *bytes, stamp)) {
        loaded.message = name + " could not be read and was kept as " + *kept + ". " + lostSettings(*bytes);
    } else {
        loaded.held = true;
        loaded.message = name +
                         " could not be read, and no copy of it could be made, so it is left as it is "
                         "and not written over. " +
                         lostSettings(*bytes);
    }
    return loaded;
}

std::string ExtraSettingsFile::serialize(const ExtraSettings& s, std::span<const SettingKey> keys) {
    KeyValueWriter out(256);
    std::set<std::string> written;
    for (size_t i = 0; i < keys.size(); ++i) {
        const SettingKey& key = keys[i];
        if (!key.isFamily()) {
            // A refused value stays in the file while its key keeps the default.
            const std::string value = *key.value(s);
            const std::string* kept = value == key.defaultValue() ? keptLine(s, key.name()) : nullptr;
            if (!kept && key.isWrittenWhenChanged() && value == key.defaultValue())
                continue;
            out.line(key.name(), kept ? *kept : value);
            written.insert(key.name());
            continue;
        }
        if (i > 0 && keys[i - 1].isFamily() && keys[i - 1].stem() == key.stem())
            continue; // written with the first row of its family
        // A family's members by number, each with its keys beside it.
        size_t end = i + 1;
        while (end < keys.size() && keys[end].isFamily() && keys[end].stem() == key.stem())
            ++end;
        std::set<int> numbers;
        for (size_t k = i; k < end; ++k)
            for (int n : keys[k].numbers(s))
                numbers.insert(n);
        for (int n : numbers) {
            for (size_t k = i; k < end; ++k) {
                if (const std::optional<std::string> value = keys[k].value(s, n)) {
                    out.line(keys[k].name(n), *value);
                    written.insert(keys[k].name(n));
                }
            }
        }
    }
    for (const auto& [key, value] : s.otherLines)
        if (!written.contains(key))
            out.line(key, value);
    out.lineEnd();
    out.lineEnd();
    return out.take();
}

ExtraSettingsFile::Reading ExtraSettingsFile::parse(std::string_view bytes, ExtraSettings& s,
                                                    std::span<const SettingKey> keys) {
    Reading reading;
    std::set<std::string, std::less<>> named;
    auto keep = [&s](std::string_view key, std::string_view value) {
        std::erase_if(s.otherLines, [key](const auto& line) { return line.first == key; });
        s.otherLines.emplace_back(key, value);
    };
    KeyValueLines::forEachLenient(bytes, [&](std::string_view name, std::string_view value) {
        if (!looksLikeKey(name))
            return;
        ++reading.lines;
        if (name == "CREATOR")
            return;
        const auto key = std::find_if(keys.begin(), keys.end(),
                                      [name](const SettingKey& k) { return k.matches(name).has_value(); });
        if (key == keys.end()) {
            keep(name, value);
            return;
        }
        const int number = *key->matches(name);
        const SettingKey::Taken taken = key->set(s, value, number);
        if (taken == SettingKey::Taken::Refused) {
            if (!key->isFamily())
                key->set(s, key->defaultValue());
            keep(name, value);
        }
        if (taken != SettingKey::Taken::Yes && named.insert(std::string(name)).second)
            reading.problems.push_back(
                problemText(*key, name, value, taken, key->value(s, number).value_or("")));
    });
    return reading;
}

} // namespace vantrel

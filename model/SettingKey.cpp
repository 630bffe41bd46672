#include "model/SettingKey.h"

#include <algorithm>
#include <charconv>

namespace vantrel {

namespace {

// A value taken replaces whatever line of its key was kept as it was read.
void dropKeptLine(ExtraSettings& s, const std::string& key) {
    std::erase_if(s.otherLines, [&key](const auto& line) { return line.first == key; });
}

SettingKey::Taken checkedText(std::string& field, std::string_view text, const SettingKey::TextCheck& check) {
    if (check && !check(text))
        return SettingKey::Taken::Refused;
    field.assign(text);
    return SettingKey::Taken::Yes;
}

} // namespace

SettingKey::SettingKey(std::string name, Type type, std::string comment, Get get, Put put)
    : stem_(std::move(name)), type_(type), comment_(std::move(comment)), get_(std::move(get)),
      put_(std::move(put)) {}

SettingKey SettingKey::yesNo(std::string name, bool ExtraSettings::*field, std::string comment) {
    SettingKey key(
        std::move(name), Type::Switch, std::move(comment),
        [field](const ExtraSettings& s, int) { return std::optional<std::string>(s.*field ? "yes" : "no"); },
        [field](ExtraSettings& s, int, std::string_view text) {
            if (text != "yes" && text != "no")
                return Taken::Refused;
            s.*field = text == "yes";
            return Taken::Yes;
        });
    key.choices_ = {"yes", "no"};
    return key;
}

SettingKey SettingKey::number(std::string name, int ExtraSettings::*field, int low, int high,
                              std::string comment) {
    SettingKey key(
        std::move(name), Type::Number, std::move(comment),
        [field](const ExtraSettings& s, int) { return std::optional<std::string>(std::to_string(s.*field)); },
        [field, low, high](ExtraSettings& s, int, std::string_view text) {
            long long n = 0;
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
            if (text.empty() || end != text.data() + text.size() ||
                (ec != std::errc() && ec != std::errc::result_out_of_range))
                return Taken::Refused;
            if (ec == std::errc::result_out_of_range)
                n = text.front() == '-' ? low - 1LL : high + 1LL;
            s.*field =
                static_cast<int>(std::clamp(n, static_cast<long long>(low), static_cast<long long>(high)));
            return n < low || n > high ? Taken::Clamped : Taken::Yes;
        });
    key.low_ = low;
    key.high_ = high;
    return key;
}

SettingKey SettingKey::text(std::string name, std::string ExtraSettings::*field, std::string comment,
                            Type type, TextCheck check) {
    return SettingKey(
        std::move(name), type, std::move(comment),
        [field](const ExtraSettings& s, int) { return std::optional<std::string>(s.*field); },
        [field, check](ExtraSettings& s, int, std::string_view text) {
            return checkedText(s.*field, text, check);
        });
}

SettingKey SettingKey::family(std::string stem, std::string suffix, Numbered ExtraSettings::*field,
                              std::string comment, Type type, TextCheck check) {
    return family(
        std::move(stem), std::move(suffix), [field](ExtraSettings& s) -> Numbered& { return s.*field; },
        std::move(comment), type, std::move(check));
}

SettingKey SettingKey::family(std::string stem, std::string suffix,
                              std::function<Numbered&(ExtraSettings&)> field, std::string comment, Type type,
                              TextCheck check) {
    // Reading goes through the same function as writing; it changes nothing.
    auto members = [field](const ExtraSettings& s) -> const Numbered& {
        return field(const_cast<ExtraSettings&>(s));
    };
    SettingKey key(
        std::move(stem), type, std::move(comment),
        [members](const ExtraSettings& s, int n) -> std::optional<std::string> {
            const Numbered& m = members(s);
            const auto it = m.find(n);
            return it == m.end() ? std::nullopt : std::optional<std::string>(it->second);
        },
        [field, check](ExtraSettings& s, int n, std::string_view text) {
            if (check && !check(text))
                return Taken::Refused;
            field(s)[n].assign(text);
            return Taken::Yes;
        });
    key.suffix_ = std::move(suffix);
    key.family_ = true;
    key.numbers_ = [members](const ExtraSettings& s) {
        std::vector<int> numbers;
        for (const auto& [n, value] : members(s))
            numbers.push_back(n);
        return numbers;
    };
    return key;
}

std::string SettingKey::name(int number) const {
    return family_ ? stem_ + std::to_string(number) + suffix_ : stem_;
}

std::string SettingKey::pattern() const {
    return family_ ? stem_ + "n" + suffix_ : stem_;
}

std::optional<int> SettingKey::matches(std::string_view key) const {
    if (!family_)
        return key == stem_ ? std::optional<int>(0) : std::nullopt;
    if (key.size() <= stem_.size() + suffix_.size() || !key.starts_with(stem_) || !key.ends_with(suffix_))
        return std::nullopt;
    const std::string_view digits = key.substr(stem_.size(), key.size() - stem_.size() - suffix_.size());
    int n = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (ec != std::errc() || end != digits.data() + digits.size() || digits.front() == '0' || n < 1 ||
        n > kMaxNumber)
        return std::nullopt;
    return n;
}

std::string SettingKey::rangeText() const {
    switch (type_) {
    case Type::Switch:
        return "yes or no";
    case Type::Number:
        return std::to_string(low_) + " to " + std::to_string(high_);
    case Type::Choice: {
        std::string out;
        for (size_t i = 0; i < choices_.size(); ++i)
            out += (i == 0 ? "" : i + 1 == choices_.size() ? " or " : ", ") + choices_[i];
        return out;
    }
    case Type::Path:
        return "a path";
    case Type::Text:
        break;
    }
    return "text";
}

std::string SettingKey::help() const {
    std::string text = comment_;
    if (!text.empty() && text.front() >= 'a' && text.front() <= 'z')
        text.front() = static_cast<char>(text.front() - 'a' + 'A');
    if (type_ == Type::Number)
        text += " (" + rangeText() + ")";
    const std::string def = defaultValue();
    return text + ". Default: " + (family_ ? "none" : def.empty() ? "empty" : def) + ".";
}

std::optional<std::string> SettingKey::value(const ExtraSettings& settings, int number) const {
    return get_(settings, number);
}

std::string SettingKey::defaultValue() const {
    return family_ ? std::string() : get_(ExtraSettings{}, 0).value_or(std::string());
}

std::vector<int> SettingKey::numbers(const ExtraSettings& settings) const {
    return numbers_ ? numbers_(settings) : std::vector<int>();
}

SettingKey::Taken SettingKey::set(ExtraSettings& settings, std::string_view text, int number) const {
    const Taken taken = put_(settings, number, text);
    if (taken != Taken::Refused)
        dropKeptLine(settings, name(number));
    return taken;
}

} // namespace vantrel

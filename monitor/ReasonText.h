#pragma once

#include <string>
#include <string_view>

namespace vantrel {

// How a reason writes what it quotes: one short line, whatever the page or
// the option held.
class ReasonText {
public:
    static constexpr std::size_t kMaxQuoted = 40;

    // `text` on one line (control characters become blanks), cut after
    // kMaxQuoted bytes (never inside a UTF-8 character) with "..." added.
    static std::string clip(std::string_view text);
    // clip(text) in double quotes: "Welcome".
    static std::string quoted(std::string_view text);
    // Milliseconds as seconds with as few decimals as the value needs, at
    // most one: 4200 -> "4.2", 2000 -> "2". With `apart` given, as many
    // more decimals (up to three) as it takes to read differently from it.
    static std::string seconds(int ms, int apart = -1);
};

} // namespace vantrel

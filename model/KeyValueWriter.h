#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vantrel {

// Builds the text of the KEY=value data files (vantrel.dat, vantrel.ini,
// vantrel-extra.ini): the header line first, then every line after a CR LF,
// so the text ends without a line end until lineEnd() adds one. The site
// list ends each record with one; the settings files end with an empty line.
// Values go out exactly as they are, with no quoting or escaping.
class KeyValueWriter {
public:
    static constexpr const char* kHeader = "CREATOR=Vantrel 1.0";

    // `expectedSize`: room to reserve for the whole text.
    explicit KeyValueWriter(std::size_t expectedSize = 0);

    void line(std::string_view key, std::string_view value);
    void lineEnd();
    std::string take() { return std::move(out_); }

private:
    std::string out_;
};

} // namespace vantrel

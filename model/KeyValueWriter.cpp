#include "model/KeyValueWriter.h"

namespace vantrel {

KeyValueWriter::KeyValueWriter(std::size_t expectedSize) {
    out_.reserve(expectedSize);
    out_ += kHeader;
}

void KeyValueWriter::line(std::string_view key, std::string_view value) {
    out_ += "\r\n";
    out_ += key;
    out_ += '=';
    out_ += value;
}

void KeyValueWriter::lineEnd() {
    out_ += "\r\n";
}

} // namespace vantrel

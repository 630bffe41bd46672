#pragma once

#include <QString>
#include <string>

namespace vantrel {

// The engine keeps texts as bytes; Qt shows UTF-8 text. Bytes that are not
// valid UTF-8 (files written on another system in an 8-bit code page) are
// shown as Latin-1 so that every byte stays visible.
class QtText {
public:
    static QString toQt(const std::string& bytes);
    static std::string fromQt(const QString& text) { return text.toUtf8().toStdString(); }
};

} // namespace vantrel

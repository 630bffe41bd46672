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
    // The text for a one-line label or a line of standard error: each line
    // break, with the blanks around it, becomes one space. A server's reply
    // keeps its own line end inside a mail failure's text.
    static QString oneLine(const std::string& bytes);
};

} // namespace vantrel

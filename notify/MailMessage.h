#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace vantrel {

// The header of a message as RFC 5322 and MIME want it, for mail submitted
// to today's providers: a Date with weekday and zone, a Message-ID, the MIME
// version and a plain-text UTF-8 body, and non-ASCII words of the subject
// and the sender's name as RFC 2047 encoded words.
class MailMessage {
public:
    struct Header {
        std::time_t date = 0;
        std::string senderName; // display name; empty: the address alone
        std::string sender;
        std::string recipient;
        std::string subject;
        std::string messageId; // empty: made from the date and the sender's domain
    };

    // The header lines, each ending in CR LF, without the empty line after them.
    static std::string headerLines(const Header& header);

    // "Thu, 10 Dec 2026 07:58:22 +0100": local time with its offset from UTC,
    // English names whatever the locale.
    static std::string dateText(std::time_t t);
    // `text` as a phrase or unstructured value: as it is when it is printable
    // ASCII, else one or more "=?UTF-8?B?...?=" words, each at most 75
    // characters, never splitting a character.
    static std::string encodedWords(std::string_view text);
    // A display name as the From line carries it: encoded words, or quoted
    // when it holds characters that are special in an address.
    static std::string displayName(std::string_view name);
    // The bytes as UTF-8: valid sequences stay, every other byte is read as
    // Latin-1 (the 8-bit text a site's title may be).
    static std::string toUtf8(std::string_view bytes);
    // The text DATA sends: the header lines, the empty line that parts them
    // from the body (a body that begins with a line end brings it itself),
    // the body with every line that begins with "." given a second one, and
    // the end of the data.
    static std::string dataText(std::string headerLines, std::string_view body);
    // "<1796690625.3f2a9c@example.org>": unique for this sender.
    static std::string newMessageId(std::time_t t, std::string_view sender);
};

} // namespace vantrel

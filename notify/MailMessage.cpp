#include "notify/MailMessage.h"

#include "model/TextUtil.h"

#include <atomic>
#include <cstdio>
#include <random>

namespace vantrel {

namespace {

constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool printableAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
            return false;
    return true;
}

size_t utf8Length(std::string_view s, size_t i) {
    const auto b = static_cast<unsigned char>(s[i]);
    const size_t n = b < 0x80             ? 1
                     : (b & 0xE0) == 0xC0 ? 2
                     : (b & 0xF0) == 0xE0 ? 3
                     : (b & 0xF8) == 0xF0 ? 4
                                          : 0;
    if (n == 0 || i + n > s.size() || (n == 2 && b < 0xC2) || (n == 4 && b > 0xF4))
        return 0;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
            return 0;
    return n;
}

// A line of the body that begins with "." gets a second one, so that no line
// of the body can read as the end of the message. A bare CR counts as a line
// end too: some servers take "<CR>.<CR>" or "<LF>.<LF>" for the end of the
// data, and what followed would then be read as commands.
std::string dotStuffed(std::string_view body) {
    std::string out;
    out.reserve(body.size() + 16);
    bool lineStart = true;
    for (char c : body) {
        if (lineStart && c == '.')
            out += '.';
        out += c;
        lineStart = c == '\n' || c == '\r';
    }
    return out;
}

} // namespace

std::string MailMessage::toUtf8(std::string_view bytes) {
    std::string out;
    for (size_t i = 0; i < bytes.size();) {
        const size_t n = utf8Length(bytes, i);
        if (n > 0) {
            out.append(bytes.substr(i, n));
            i += n;
            continue;
        }
        const auto c = static_cast<unsigned char>(bytes[i++]);
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

std::string MailMessage::dateText(std::time_t t) {
    std::tm local{};
    ::localtime_r(&t, &local);
    const long offset = local.tm_gmtoff / 60;
    const long magnitude = offset < 0 ? -offset : offset;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", kDays[local.tm_wday],
                  local.tm_mday, kMonths[local.tm_mon], local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec, offset < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
    return buf;
}

std::string MailMessage::encodedWords(std::string_view raw) {
    const std::string text = toUtf8(raw);
    if (printableAscii(text))
        return text;
    // "=?UTF-8?B?" and "?=" take 12 of a word's 75 characters: 63 remain,
    // 45 bytes of text in base64. Words are parted by a folding line end.
    constexpr size_t kBytesPerWord = 45;
    std::string out;
    for (size_t i = 0; i < text.size();) {
        size_t end = i;
        while (end < text.size()) {
            const size_t n = std::max<size_t>(1, utf8Length(text, end));
            if (end + n - i > kBytesPerWord)
                break;
            end += n;
        }
        if (!out.empty())
            out += "\r\n ";
        out += "=?UTF-8?B?" + text::base64(text.substr(i, end - i)) + "?=";
        i = end;
    }
    return out;
}

std::string MailMessage::displayName(std::string_view name) {
    const std::string text = toUtf8(name);
    if (!printableAscii(text))
        return encodedWords(text);
    if (text.find_first_of("()<>[]:;@\\,.\"") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

std::string MailMessage::dataText(std::string headerLines, std::string_view body) {
    std::string text = std::move(headerLines);
    if (!body.empty() && !body.starts_with("\n") && !body.starts_with("\r\n"))
        text += "\r\n";
    text += dotStuffed(body);
    text += "\r\n\r\n.\r\n";
    return text;
}

std::string MailMessage::newMessageId(std::time_t t, std::string_view sender) {
    static std::atomic<unsigned> sequence{0};
    static const unsigned long long salt = std::random_device{}() * 0x100000000ULL + std::random_device{}();
    const size_t at = sender.rfind('@');
    std::string domain = at == std::string_view::npos ? std::string() : std::string(sender.substr(at + 1));
    if (domain.empty() || !printableAscii(domain) || domain.find_first_of("<> ") != std::string::npos)
        domain = "vantrel.invalid";
    char buf[96];
    std::snprintf(buf, sizeof buf, "<%lld.%llx.%u@", static_cast<long long>(t), salt, ++sequence);
    return buf + domain + ">";
}

std::string MailMessage::headerLines(const Header& h) {
    const std::string from =
        h.senderName.empty() ? h.sender : displayName(h.senderName) + " <" + h.sender + ">";
    return "Date: " + dateText(h.date) + "\r\nFrom: " + from + "\r\nSubject: " + encodedWords(h.subject) +
           "\r\nTo: " + h.recipient +
           "\r\nMessage-ID: " + (h.messageId.empty() ? newMessageId(h.date, h.sender) : h.messageId) +
           "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
           "Content-Transfer-Encoding: 8bit\r\n";
}

} // namespace vantrel

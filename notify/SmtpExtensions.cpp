#include "notify/SmtpExtensions.h"

#include "model/TextUtil.h"

namespace vantrel {

namespace {

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

} // namespace

SmtpExtensions::SmtpExtensions(std::string_view reply) {
    bool first = true;
    while (!reply.empty()) {
        std::size_t end = reply.find('\n');
        std::string_view line = reply.substr(0, end);
        reply.remove_prefix(end == std::string_view::npos ? reply.size() : end + 1);
        if (!first && line.size() > 4)
            lines_.push_back(upper(text::trimRight(line.substr(4))));
        first = false;
    }
}

bool SmtpExtensions::offers(std::string_view keyword) const {
    for (const std::string& line : lines_)
        if (line == keyword || line.starts_with(std::string(keyword) + " "))
            return true;
    return false;
}

bool SmtpExtensions::offersLogin(std::string_view mechanism) const {
    for (const std::string& line : lines_) {
        if (!line.starts_with("AUTH ") && !line.starts_with("AUTH="))
            continue;
        std::string_view rest = std::string_view(line).substr(5);
        while (!rest.empty()) {
            std::size_t end = rest.find(' ');
            if (rest.substr(0, end) == mechanism)
                return true;
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        }
    }
    return false;
}

} // namespace vantrel

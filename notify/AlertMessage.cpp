#include "notify/AlertMessage.h"

#include "notify/AlertTemplate.h"

namespace vantrel {

std::string AlertMessage::oneLine(std::string_view value) {
    // JSON escaping makes the bytes valid UTF-8; the control characters
    // are then blanked rather than escaped.
    std::string out;
    for (char c : value)
        out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? ' ' : c;
    std::string valid;
    const std::string escaped = AlertTemplate::jsonEscape(out);
    for (size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == '\\' && i + 1 < escaped.size())
            ++i; // only quotes and backslashes are escaped now
        valid += escaped[i];
    }
    return valid;
}

std::string AlertMessage::headline() const {
    const std::string name = oneLine(title.empty() ? url : title);
    if (state == "still down")
        return "Vantrel: " + name + " still down for " + oneLine(duration);
    if (state == "up")
        return "Vantrel: " + name + " is up again";
    return "Vantrel: " + name + " is " + oneLine(state);
}

std::string AlertMessage::text() const {
    std::string out = headline() + "\n" + oneLine(url) + "\n";
    auto add = [&out](const char* label, const std::string& value) {
        if (!value.empty())
            out += std::string(label) + oneLine(value) + "\n";
    };
    add("Reason: ", reason);
    add("Checked: ", time);
    if (state != "still down")
        add("Down since: ",
            downSince.empty() ? std::string() : downSince + (duration.empty() ? "" : " (" + duration + ")"));
    else
        add("Down since: ", downSince);
    add("Last good check: ", lastGood);
    add("The server sent: ", page);
    return out;
}

} // namespace vantrel

#include "notify/AlertChannel.h"

namespace vantrel {

namespace {

constexpr const char* kNames[] = {"ntfy", "gotify", "matrix", "slack", "discord", "telegram", "webhook"};

bool isHttpUrl(std::string_view s) {
    return s.starts_with("http://") || s.starts_with("https://");
}

} // namespace

const char* AlertChannel::kindName(ChannelKind kind) {
    return kNames[static_cast<int>(kind)];
}

std::optional<ChannelKind> AlertChannel::kindNamed(std::string_view name) {
    for (ChannelKind k : kKinds)
        if (name == kindName(k))
            return k;
    return std::nullopt;
}

std::string AlertChannel::value() const {
    return std::string(kindName(kind)) + " " + endpoint;
}

std::optional<AlertChannel> AlertChannel::parse(int number, std::string_view value, std::string* error) {
    auto refuse = [error](std::string why) -> std::optional<AlertChannel> {
        if (error)
            *error = std::move(why);
        return std::nullopt;
    };
    const size_t blank = value.find(' ');
    const std::string_view name = value.substr(0, blank);
    const std::optional<ChannelKind> kind = kindNamed(name);
    if (!kind)
        return refuse("\"" + std::string(name) +
                      "\" is no kind of channel: ntfy, gotify, matrix, slack, discord, telegram or webhook.");
    std::string_view endpoint =
        blank == std::string_view::npos ? std::string_view() : value.substr(blank + 1);
    while (!endpoint.empty() && endpoint.front() == ' ')
        endpoint.remove_prefix(1);
    while (!endpoint.empty() && endpoint.back() == ' ')
        endpoint.remove_suffix(1);
    for (char c : endpoint)
        if (static_cast<unsigned char>(c) < 0x20 || c == ' ' || c == 0x7F)
            return refuse("The endpoint holds a blank or a control character.");
    AlertChannel channel;
    channel.number = number;
    channel.kind = *kind;
    channel.endpoint = std::string(endpoint);
    switch (*kind) {
    case ChannelKind::Ntfy:
    case ChannelKind::Gotify:
    case ChannelKind::Webhook:
        if (!isHttpUrl(endpoint))
            return refuse("The endpoint must be an http:// or https:// URL.");
        break;
    case ChannelKind::Matrix:
        if (!isHttpUrl(endpoint) || endpoint.rfind("/!") == std::string_view::npos)
            return refuse("The endpoint must be the homeserver's URL, a slash and the room id: "
                          "https://matrix.org/!abc:matrix.org");
        break;
    case ChannelKind::Telegram:
        if (endpoint.empty())
            return refuse("The endpoint must be the chat id.");
        break;
    case ChannelKind::Slack:
    case ChannelKind::Discord:
        if (endpoint.empty())
            return refuse(
                "The endpoint must be the webhook's URL, or a name when the URL is kept as the secret.");
        break;
    }
    return channel;
}

} // namespace vantrel

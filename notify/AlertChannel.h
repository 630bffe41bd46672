#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// The services an alert can go to, each spoken to as its public API says.
enum class ChannelKind { Ntfy, Gotify, Matrix, Slack, Discord, Telegram, Webhook };

// One alert channel, as a numbered setting gives it: "ntfy
// http://127.0.0.1:8080/alerts" is the kind, a blank and the endpoint. What
// the endpoint holds depends on the kind:
//   ntfy      the topic's URL                    https://ntfy.sh/my-alerts
//   gotify    the server's URL                   https://gotify.example.org
//   matrix    the homeserver's URL, "/", room id https://matrix.org/!abc:matrix.org
//   slack     the incoming webhook's URL (or, with the URL kept as the
//   discord   secret, any name for it)
//   telegram  the chat id, after the Bot API's URL when it is not the usual
//             one                                -100123456 or http://127.0.0.1:8081/-100123456
//   webhook   the URL the JSON is posted to
// The secret (a token, or a webhook URL that is itself a secret) is never
// in the settings: it comes from the keyring or a file only its owner reads.
struct AlertChannel {
    int number = 0; // CHANNEL<number>
    ChannelKind kind = ChannelKind::Ntfy;
    std::string endpoint;
    std::string secret;
    std::string bodyTemplate; // webhook: the JSON template; empty: the default one

    // The setting's value parsed, or nothing with `error` saying why.
    static std::optional<AlertChannel> parse(int number, std::string_view value,
                                             std::string* error = nullptr);
    // The setting's value: "ntfy http://127.0.0.1:8080/alerts".
    std::string value() const;

    static const char* kindName(ChannelKind kind);
    static std::optional<ChannelKind> kindNamed(std::string_view name);
    // Every kind, in the order Preferences offers them.
    static constexpr ChannelKind kKinds[] = {ChannelKind::Ntfy,   ChannelKind::Gotify,  ChannelKind::Matrix,
                                             ChannelKind::Slack,  ChannelKind::Discord, ChannelKind::Telegram,
                                             ChannelKind::Webhook};

    // The name its secret is kept under in the keyring and the secrets
    // file, without a blank (a secrets file's line is the key, a blank and
    // the secret): "channel:ntfy:https://ntfy.sh/my-alerts".
    std::string secretKey() const { return std::string("channel:") + kindName(kind) + ":" + endpoint; }

    bool operator==(const AlertChannel&) const = default;
};

} // namespace vantrel

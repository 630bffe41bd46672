#pragma once

#include "notify/AlertChannel.h"
#include "notify/AlertMessage.h"
#include "platform/HttpClient.h"

#include <optional>
#include <string>

namespace vantrel {

// The HTTP request that tells `channel` of `message`, shaped as the service's
// API documentation gives it:
//   ntfy      POST <topic URL>, the text as body; Title, Priority, Tags
//             headers; "Authorization: Bearer <token>" when there is one
//   gotify    POST <server>/message, JSON title, message, priority;
//             "X-Gotify-Key: <application token>"
//   matrix    PUT <homeserver>/_matrix/client/v3/rooms/<room>/send/
//             m.room.message/<txnId>, JSON msgtype m.text and body;
//             "Authorization: Bearer <access token>"
//   slack     POST <webhook URL>, JSON {"text": ...}
//   discord   POST <webhook URL>, JSON {"content": ...}
//   telegram  POST <Bot API>/bot<token>/sendMessage, JSON chat_id and text
//   webhook   POST <URL>, the JSON of the channel's template; the secret,
//             when there is one, as "Authorization: Bearer <secret>"
// `txnId` makes a resent message the same message (Matrix drops a repeat).
// Nothing when the channel's template gives no valid JSON for this message.
class ChannelRequest {
public:
    static std::optional<HttpRequest> build(const AlertChannel& channel, const AlertMessage& message,
                                            const std::string& txnId);

    // Whether an answer means the message arrived: any 2xx status.
    static bool delivered(const HttpResponse& response);
    // Whether a failure may heal by itself: no answer, a 5xx, 408 or 429.
    // Other 4xx answers (a wrong token, a deleted webhook) stay as they are.
    static bool worthRetrying(const HttpResponse& response);
    // The answer in a line: "HTTP 401: {\"error\":...}" (the first bytes
    // of the answer as plain text) or "no answer: cannot connect (12029)".
    static std::string describe(const HttpResponse& response);

    static constexpr const char* kUserAgent = "Vantrel 1.0";
    static constexpr std::size_t kDiscordLimit = 2000;
    static constexpr std::size_t kTelegramLimit = 4096;
};

} // namespace vantrel

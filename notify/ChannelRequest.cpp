#include "notify/ChannelRequest.h"

#include "notify/AlertTemplate.h"

#include <nlohmann/json.hpp>

namespace vantrel {

namespace {

std::string trimSlash(std::string url) {
    while (!url.empty() && url.back() == '/')
        url.pop_back();
    return url;
}

// `text` cut to at most `limit` bytes, never inside a UTF-8 sequence.
std::string cut(std::string text, std::size_t limit) {
    if (text.size() <= limit)
        return text;
    std::size_t n = limit;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    text.resize(n);
    return text;
}

// A webhook URL kept as a secret is typed or pasted by hand: blanks and
// control characters in it are percent-encoded, so none reaches the request
// line.
std::string urlWithoutControls(std::string_view url) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (char ch : url) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c == 0x7F) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

// Percent-encodes everything but unreserved characters, for a path segment.
std::string pathSegment(std::string_view s, std::string_view alsoKept = {}) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '.' || c == '_' || c == '~' || alsoKept.find(ch) != std::string_view::npos) {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// A JSON document from the message's texts, every one made valid UTF-8 on
// the way (the site's title is the user's bytes).
std::string jsonOf(std::initializer_list<std::pair<const char*, std::string>> members) {
    std::string out = "{";
    for (const auto& [key, value] : members) {
        if (out.size() > 1)
            out += ",";
        out += "\"" + std::string(key) + "\":\"" + AlertTemplate::jsonEscape(value) + "\"";
    }
    return out + "}";
}

} // namespace

std::optional<HttpRequest> ChannelRequest::build(const AlertChannel& channel, const AlertMessage& message,
                                                 const std::string& txnId) {
    HttpRequest r;
    r.method = HttpRequest::Method::Post;
    r.userAgent = kUserAgent;
    r.followRedirects = false;
    const std::string json = "Content-Type: application/json";
    const std::string& secret = channel.secret;
    const bool problem = message.state == "down" || message.state == "still down";
    switch (channel.kind) {
    case ChannelKind::Ntfy:
        r.url = channel.endpoint;
        r.body = message.text();
        r.headers.push_back("Content-Type: text/plain; charset=utf-8");
        r.headers.push_back("Title: " + AlertTemplate::headerValue(message.headline()));
        r.headers.push_back(std::string("Priority: ") + (problem ? "high" : "default"));
        r.headers.push_back(std::string("Tags: ") + (problem                 ? "rotating_light"
                                                     : message.state == "up" ? "white_check_mark"
                                                                             : "warning"));
        if (!secret.empty())
            r.headers.push_back("Authorization: Bearer " + AlertTemplate::headerValue(secret));
        break;
    case ChannelKind::Gotify:
        r.url = trimSlash(channel.endpoint) + "/message";
        r.headers.push_back(json);
        r.body = jsonOf({{"title", message.headline()}, {"message", message.text()}});
        // The priority is a number in Gotify's JSON.
        r.body.insert(r.body.size() - 1, std::string(",\"priority\":") + (problem ? "8" : "5"));
        r.headers.push_back("X-Gotify-Key: " + AlertTemplate::headerValue(secret));
        break;
    case ChannelKind::Matrix: {
        const size_t split = channel.endpoint.rfind("/!");
        r.method = HttpRequest::Method::Put;
        r.url = trimSlash(channel.endpoint.substr(0, split)) + "/_matrix/client/v3/rooms/" +
                pathSegment(channel.endpoint.substr(split + 1)) + "/send/m.room.message/" +
                pathSegment(txnId);
        r.headers.push_back(json);
        r.body = jsonOf({{"msgtype", "m.text"}, {"body", message.text()}});
        r.headers.push_back("Authorization: Bearer " + AlertTemplate::headerValue(secret));
        break;
    }
    case ChannelKind::Slack:
    case ChannelKind::Discord: {
        const bool secretIsUrl = secret.starts_with("http://") || secret.starts_with("https://");
        r.url = secretIsUrl ? urlWithoutControls(secret) : channel.endpoint;
        r.headers.push_back(json);
        r.body = channel.kind == ChannelKind::Slack
                     ? jsonOf({{"text", message.text()}})
                     : jsonOf({{"content", cut(message.text(), kDiscordLimit)}});
        break;
    }
    case ChannelKind::Telegram: {
        std::string base = "https://api.telegram.org";
        std::string chat = channel.endpoint;
        if (chat.find("://") != std::string::npos) {
            const size_t slash = chat.rfind('/');
            base = trimSlash(chat.substr(0, slash));
            chat = chat.substr(slash + 1);
        }
        // A bot token is "<bot id>:<key>"; the colon stays as the API writes it.
        r.url = base + "/bot" + pathSegment(secret, ":") + "/sendMessage";
        r.headers.push_back(json);
        r.body = jsonOf({{"chat_id", chat}, {"text", cut(message.text(), kTelegramLimit)}});
        break;
    }
    case ChannelKind::Webhook: {
        const AlertTemplate tmpl(channel.bodyTemplate.empty() ? AlertTemplate::kDefaultJson
                                                              : channel.bodyTemplate);
        std::optional<std::string> body = tmpl.expandJson(message);
        if (!body)
            return std::nullopt;
        r.url = channel.endpoint;
        r.body = std::move(*body);
        r.headers.push_back(json);
        if (!secret.empty())
            r.headers.push_back("Authorization: Bearer " + AlertTemplate::headerValue(secret));
        break;
    }
    }
    return r;
}

bool ChannelRequest::delivered(const HttpResponse& response) {
    return response.ok && response.statusCode >= 200 && response.statusCode <= 299;
}

bool ChannelRequest::worthRetrying(const HttpResponse& response) {
    if (!response.ok || response.statusCode < 400)
        return true;
    return response.statusCode >= 500 || response.statusCode == 408 || response.statusCode == 429;
}

std::string ChannelRequest::describe(const HttpResponse& response) {
    if (!response.ok) {
        // The usual failures in words, with the number the log uses.
        const char* what = nullptr;
        switch (response.errorNumber) {
        case 12002:
            what = "timed out";
            break;
        case 12007:
            what = "name not resolved";
            break;
        case 12029:
            what = "cannot connect";
            break;
        case 12030:
            what = "connection closed";
            break;
        case 12031:
            what = "connection reset";
            break;
        case 12045:
            what = "certificate not trusted";
            break;
        case 12157:
            what = "TLS failed";
            break;
        default:
            break;
        }
        return std::string("no answer: ") + (what ? std::string(what) + " " : std::string()) + "(" +
               std::to_string(response.errorNumber) + ")";
    }
    std::string text = "HTTP " + std::to_string(response.statusCode);
    std::string answer = AlertTemplate::headerValue(cut(response.body, 200));
    if (!answer.empty())
        text += ": " + answer;
    return text;
}

} // namespace vantrel

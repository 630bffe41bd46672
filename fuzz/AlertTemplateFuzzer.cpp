// Fuzzes the expansion of alert templates and the requests of every channel
// kind. The input is a template and the alert's fields, parted by NUL bytes.
// Whatever the fields hold: a template that passes the check gives JSON of
// the same shape as with plain values (no value adds a member, an element
// or a level), its string values are the fields themselves where they were
// valid UTF-8, and no request carries a header with a control character
// or a body of a JSON kind that is not valid JSON.
#include "fuzz/FuzzCheck.h"
#include "notify/AlertTemplate.h"
#include "notify/ChannelRequest.h"

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

using namespace vantrel;
using nlohmann::json;
using vantrel::fuzz::FuzzCheck;

namespace {

// The same types at every place, the same number of members and elements.
bool sameShape(const json& a, const json& b) {
    if (a.type() != b.type() || a.size() != b.size())
        return false;
    if (a.is_array()) {
        for (std::size_t i = 0; i < a.size(); ++i)
            if (!sameShape(a[i], b[i]))
                return false;
    } else if (a.is_object()) {
        for (auto ia = a.begin(), ib = b.begin(); ia != a.end(); ++ia, ++ib)
            if (!sameShape(ia.value(), ib.value()))
                return false;
    }
    return true;
}

bool headerClean(const std::string& line) {
    for (char c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            parts.emplace_back();
        else
            parts.back() += static_cast<char>(data[i]);
    }
    parts.resize(11);
    AlertMessage m{parts[1], parts[2], parts[3], parts[4], parts[5], parts[6], parts[7], parts[8], parts[9]};

    const AlertTemplate tmpl(parts[0]);
    if (!tmpl.jsonProblem()) {
        const std::optional<std::string> body = tmpl.expandJson(m);
        FuzzCheck::require(body.has_value(), "an accepted template gives JSON");
        const AlertMessage plain{"t", "u", "s", "r", "i", "d", "n", "l", "p"};
        const json shape = json::parse(*tmpl.expandJson(plain));
        FuzzCheck::require(sameShape(json::parse(*body), shape), "values change no JSON's shape");
    }
    // The default body holds each field as it was, where it was UTF-8.
    const json fields = json::parse(*AlertTemplate(AlertTemplate::kDefaultJson).expandJson(m));
    FuzzCheck::require(fields.size() == 9, "the default body has its nine members");
    if (AlertTemplate::jsonEscape(m.title).find("\xEF\xBF\xBD") == std::string::npos)
        FuzzCheck::require(fields["title"] == m.title, "a title comes back as it was");

    for (ChannelKind kind : AlertChannel::kKinds) {
        AlertChannel c;
        c.kind = kind;
        c.endpoint = kind == ChannelKind::Matrix ? "http://127.0.0.1:1/!room:x" : "http://127.0.0.1:1/x";
        c.secret = parts[10];
        c.bodyTemplate = kind == ChannelKind::Webhook && !tmpl.jsonProblem() ? parts[0] : "";
        const std::optional<HttpRequest> r = ChannelRequest::build(c, m, parts[9]);
        FuzzCheck::require(r.has_value(), "every kind builds its request");
        for (const std::string& h : r->headers)
            FuzzCheck::require(headerClean(h), "no control character in a header");
        FuzzCheck::require(headerClean(r->url), "no control character in the URL");
        if (kind != ChannelKind::Ntfy)
            FuzzCheck::require(json::accept(r->body), "a JSON kind's body is JSON");
    }
    return 0;
}

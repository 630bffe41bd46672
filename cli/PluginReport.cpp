#include "cli/PluginReport.h"

#include <cmath>
#include <cstdio>

namespace vantrel {

namespace {

// The text part may not hold the "|" that starts performance data, nor a
// line end, which would start the long output.
std::string plainText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '|')
            out += '/';
        else if (c == '\r' || c == '\n')
            out += ' ';
        else
            out += c;
    }
    return out;
}

// Failures that say nothing about the site: the URL itself, or this machine.
bool unknownFailure(const HttpResponse& response) {
    switch (response.errorNumber) {
    case HttpResponse::kErrOutOfHandles:
    case 12004: // internal error
    case 12005: // invalid URL
    case 12006: // unrecognised scheme
        return true;
    default:
        return false;
    }
}

} // namespace

const char* PluginReport::stateName(State state) {
    switch (state) {
    case State::Ok:
        return "OK";
    case State::Warning:
        return "WARNING";
    case State::Critical:
        return "CRITICAL";
    case State::Unknown:
        break;
    }
    return "UNKNOWN";
}

std::string PluginReport::seconds(int ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%d.%03d", ms / 1000, ms % 1000);
    std::string s = text;
    while (s.back() == '0')
        s.pop_back();
    if (s.back() == '.')
        s.pop_back();
    return s;
}

PluginReport PluginReport::unknown(const std::string& text) {
    PluginReport r;
    r.state_ = State::Unknown;
    r.line_ = "VANTREL UNKNOWN - " + plainText(text);
    return r;
}

PluginReport PluginReport::of(const CheckVerdict& verdict, const HttpResponse& response, Thresholds limits) {
    PluginReport r;
    const bool timed = response.totalMs >= 0;
    const long long ms = timed ? std::llround(response.totalMs) : -1;
    if (verdict.kind == ReasonKind::Option || (!response.ok && unknownFailure(response)))
        r.state_ = State::Unknown;
    else if (verdict.outcome != CheckVerdict::Outcome::Good)
        r.state_ = State::Critical;
    else if (limits.critMs > 0 && timed && response.totalMs > limits.critMs)
        r.state_ = State::Critical;
    else if (limits.warnMs > 0 && timed && response.totalMs > limits.warnMs)
        r.state_ = State::Warning;
    else
        r.state_ = State::Ok;

    std::string text;
    if (response.statusCode > 0)
        text = std::to_string(response.statusCode) + (timed ? " in " + std::to_string(ms) + " ms" : "");
    std::string why = verdict.outcome == CheckVerdict::Outcome::Good ? "" : verdict.reason;
    if (why.empty() && (r.state_ == State::Warning || r.state_ == State::Critical))
        why = "slower than " + std::to_string(r.state_ == State::Critical ? limits.critMs : limits.warnMs) +
              " ms";
    if (!why.empty())
        text += (text.empty() ? "" : ": ") + why;
    if (text.empty())
        text = "no answer";

    std::string perf;
    if (timed) {
        char value[48];
        std::snprintf(value, sizeof value, "%.3f", response.totalMs / 1000.0);
        perf = std::string("time=") + value + "s;" + (limits.warnMs > 0 ? seconds(limits.warnMs) : "") + ";" +
               (limits.critMs > 0 ? seconds(limits.critMs) : "") + ";0";
    }
    if (response.ok || response.bytesReceived > 0)
        perf += (perf.empty() ? "" : " ") + std::string("size=") + std::to_string(response.bytesReceived) +
                "B;;;0";
    r.line_ = std::string("VANTREL ") + stateName(r.state_) + " - " + plainText(text);
    if (!perf.empty())
        r.line_ += " | " + perf;
    return r;
}

} // namespace vantrel

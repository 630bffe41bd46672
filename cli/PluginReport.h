#pragma once

#include "monitor/CheckVerdict.h"
#include "platform/HttpClient.h"

#include <string>

namespace vantrel {

// The result of one check in the form monitoring systems read from their
// plugins: a state that is also the exit status, and one line of text with
// performance data after a "|":
//   VANTREL OK - 200 in 123 ms | time=0.123s;0.5;1;0 size=5120B;;;0
// Thresholds are response times; a time above the warning limit is WARNING,
// above the critical one CRITICAL. A failed check is CRITICAL, whatever its
// time; an argument the check cannot use, or a failure on this machine,
// is UNKNOWN.
class PluginReport {
public:
    enum class State { Ok = 0, Warning = 1, Critical = 2, Unknown = 3 };

    struct Thresholds {
        int warnMs = 0; // 0: none
        int critMs = 0;
    };

    static const char* stateName(State state);

    // The state and line of a check judged by the engine.
    static PluginReport of(const CheckVerdict& verdict, const HttpResponse& response, Thresholds limits);
    // A check that could not be made at all: UNKNOWN with this text.
    static PluginReport unknown(const std::string& text);

    State state() const { return state_; }
    int exitStatus() const { return static_cast<int>(state_); }
    // The whole line, without a line end.
    const std::string& line() const { return line_; }

    // "0.5" for 500 ms: seconds with no more digits than needed.
    static std::string seconds(int ms);

private:
    State state_ = State::Unknown;
    std::string line_;
};

} // namespace vantrel

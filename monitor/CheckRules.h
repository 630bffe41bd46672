#pragma once

#include "monitor/StatusCodeSet.h"

#include <optional>
#include <string>
#include <vector>

namespace vantrel {

struct SiteEntry;

// A site's options as the check uses them: the texts of SiteOptions and
// the test string read into values, with every text that cannot be used
// named in `problems`. An option whose text is a problem keeps its default
// here; a check of a site with problems fails and says so.
struct CheckRules {
    enum class Match { Text, NoCase, Regex, Json };
    enum class Auth { None, Basic, Bearer };

    std::string testString;
    std::optional<StatusCodeSet> statusCodes; // none: any status will do
    Match match = Match::Text;
    std::string jsonPointer;
    bool invert = false;
    int slowMs = 0;    // 0: never slow
    int slowCount = 1; // slow checks in a row before the site is slow
    bool head = false;
    std::vector<std::string> headers;
    Auth auth = Auth::None;
    std::string authUser;
    std::string userAgent; // empty: the program's own
    bool followRedirects = true;
    bool insecure = false;
    int every = 0; // minutes; 0: the check interval of the settings
    // Whether any option of the site is set (not at its default).
    bool optionsInUse = false;

    static constexpr int kMaxSlowMs = 3600000;
    static constexpr int kMaxSlowCount = 100;
    static constexpr int kMaxEveryMinutes = 1440;

    // A text that cannot be used: the file key it is under ("MATCH",
    // "TESTSTRING" for the test string or pattern) and what is wrong.
    struct Problem {
        std::string key;
        std::string message;
    };
    std::vector<Problem> problems;

    static CheckRules from(const SiteEntry& site);

    // The site's own interval in minutes, 0 when it has none (or an unusable one).
    static int everyMinutes(const SiteEntry& site);

    // Whether `line` can be sent as an extra header; else why not.
    static std::optional<std::string> headerProblem(const std::string& line);
};

} // namespace vantrel

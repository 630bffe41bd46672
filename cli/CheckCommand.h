#pragma once

#include "cli/PluginReport.h"

#include <string>
#include <vector>

namespace vantrel {

class HttpClient;

// `vantrel check URL`: one check of one page, judged by the engine with the
// meaning the site options have, reported as a monitoring plugin. Nothing
// is read from or written to the folder; no alert goes out.
class CheckCommand {
public:
    struct Arguments {
        std::string url;
        std::string text;  // the test string (plain text)
        std::string regex; // or an RE2 pattern; not both
        bool invert = false;
        std::string status; // the status codes that are good: "200-299,301"; empty: any
        int warnMs = 0;
        int critMs = 0;
        int timeoutSeconds = kDefaultTimeoutSeconds;
        std::vector<std::string> headers;
        bool insecure = false;
    };
    static constexpr int kDefaultTimeoutSeconds = 10;

    // Checks with `http`, which bounds every wait by the timeout.
    static PluginReport run(const Arguments& args, HttpClient& http);
    // The same with the program's own HTTP client.
    static PluginReport run(const Arguments& args);
};

} // namespace vantrel

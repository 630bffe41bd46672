#pragma once

#include <string>

namespace vantrel {

class SiteMonitor;

// The state and counters of a run in the Prometheus text exposition format
// (version 0.0.4): one sample per site and counter, labelled with the site's
// title and URL, in base units (seconds). A URL's user name, password, query
// and fragment never reach a label: they may hold secrets.
class MetricsText {
public:
    static constexpr const char* kContentType = "text/plain; version=0.0.4; charset=utf-8";
    static std::string render(const SiteMonitor& monitor);
    // A label value with backslash, double quote and line feed escaped.
    static std::string labelValue(const std::string& text);
    // The URL without its user information, query and fragment.
    static std::string publicUrl(const std::string& url);
};

} // namespace vantrel

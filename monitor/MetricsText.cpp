#include "monitor/MetricsText.h"

#include "monitor/SiteMonitor.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace vantrel {

namespace {

std::string number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

struct Family {
    const char* name;
    const char* type;
    const char* help;
};

} // namespace

std::string MetricsText::labelValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else if (c != '\r')
            out += c;
    }
    return out;
}

std::string MetricsText::publicUrl(const std::string& url) {
    std::string out = url.substr(0, url.find_first_of("?#"));
    const size_t scheme = out.find("://");
    const size_t start = scheme == std::string::npos ? 0 : scheme + 3;
    const size_t end = std::min(out.find('/', start), out.size());
    const size_t at = end > start ? out.rfind('@', end - 1) : std::string::npos;
    if (at != std::string::npos && at >= start)
        out.erase(start, at + 1 - start);
    return out;
}

std::string MetricsText::render(const SiteMonitor& m) {
    const CheckCounters& counters = m.counters();
    std::string out;
    auto header = [&out](const Family& f) {
        out += std::string("# HELP ") + f.name + " " + f.help + "\n# TYPE " + f.name + " " + f.type + "\n";
    };
    header({"vantrel_monitoring", "gauge", "1 while monitoring is on."});
    out += std::string("vantrel_monitoring ") + (m.monitoringOn() ? "1" : "0") + "\n";
    header({"vantrel_sites", "gauge", "Sites in the list."});
    out += "vantrel_sites " + std::to_string(m.sites().rowCount()) + "\n";
    header({"vantrel_checks_total", "counter", "Site checks since the program started."});
    out += "vantrel_checks_total " + std::to_string(counters.checks()) + "\n";
    header({"vantrel_alerts_total", "counter", "Alerts since the program started, by result."});
    out += "vantrel_alerts_total{result=\"sent\"} " + std::to_string(counters.alertsSent()) + "\n";
    out += "vantrel_alerts_total{result=\"failed\"} " + std::to_string(counters.alertsFailed()) + "\n";
    header({"vantrel_history_available", "gauge", "1 while the check history can be written."});
    out += std::string("vantrel_history_available ") + (m.history() && m.history()->available() ? "1" : "0") +
           "\n";

    // Every site of the list, checked or not yet, and no site twice.
    std::map<CheckCounters::Key, const CheckCounters::Site*> sites;
    for (int i = 0; i < m.sites().rowCount(); ++i) {
        const SiteEntry& e = m.sites().row(i);
        sites.emplace(CheckCounters::Key{e.url, e.title}, nullptr);
    }
    for (const auto& [key, site] : counters.sites())
        sites[key] = &site;
    auto labels = [](const CheckCounters::Key& k) {
        return "{title=\"" + labelValue(k.second) + "\",url=\"" + labelValue(publicUrl(k.first)) + "\"}";
    };
    const Family families[] = {
        {"vantrel_site_up", "gauge", "1 when the site's last check was good, 0 when it failed."},
        {"vantrel_site_checks_total", "counter", "Checks of the site since the program started."},
        {"vantrel_site_failures_total", "counter", "Failed checks of the site since the program started."},
        {"vantrel_site_uptime_ratio", "gauge",
         "Good checks of the site over all its checks since the start."},
        {"vantrel_site_response_seconds", "gauge", "Duration of the site's last fetch in seconds."},
        {"vantrel_site_http_status", "gauge", "HTTP status code of the site's last fetch."},
        {"vantrel_site_last_check_timestamp_seconds", "gauge", "When the site was last checked (Unix time)."},
        {"vantrel_site_reason", "gauge",
         "Always 1; the label reason tells the kind of reason of the site's last check (none when good)."},
    };
    for (int f = 0; f < 8; ++f) {
        header(families[f]);
        for (const auto& [key, site] : sites) {
            if (!site || site->checks == 0)
                continue; // never checked: nothing to report yet
            const CheckRecord& last = site->last;
            std::string value;
            switch (f) {
            case 0:
                value = last.outcome == CheckRecord::kGood ? "1" : "0";
                break;
            case 1:
                value = std::to_string(site->checks);
                break;
            case 2:
                value = std::to_string(site->failures);
                break;
            case 3:
                value = number(static_cast<double>(site->checks - site->failures) /
                               static_cast<double>(site->checks));
                break;
            case 4:
                if (last.totalMs >= 0)
                    value = number(last.totalMs / 1000.0);
                break;
            case 5:
                if (last.httpStatus >= 0)
                    value = std::to_string(last.httpStatus);
                break;
            case 6:
                value = std::to_string(static_cast<long long>(last.time));
                break;
            }
            if (f == 7) {
                const std::string l = labels(key);
                out += std::string(families[f].name) + l.substr(0, l.size() - 1) + ",reason=\"" +
                       labelValue(last.reasonKind) + "\"} 1\n";
            } else if (!value.empty()) {
                out += std::string(families[f].name) + labels(key) + " " + value + "\n";
            }
        }
    }
    header({"vantrel_site_local_failures_total", "counter",
            "Fetches of the site this machine could not make (no file descriptor or memory left); not checks "
            "of the site."});
    for (const auto& [key, site] : sites)
        if (site && site->localFailures > 0)
            out += "vantrel_site_local_failures_total" + labels(key) + " " +
                   std::to_string(site->localFailures) + "\n";
    return out;
}

} // namespace vantrel

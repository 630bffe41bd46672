#pragma once

#include "monitor/CheckHistory.h"

#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace vantrel::test {

// The history in memory: what was recorded, in order.
class MemoryHistory : public CheckHistory {
public:
    struct Gap {
        std::time_t from, to;
        std::string reason;
    };
    std::vector<CheckRecord> checks;
    std::vector<AlertRecord> alerts;
    std::vector<Gap> gaps;

    void recordCheck(const CheckRecord& r) override { checks.push_back(r); }
    void recordAlert(const AlertRecord& r) override { alerts.push_back(r); }
    void recordUnmonitored(std::time_t from, std::time_t to, const std::string& reason) override {
        gaps.push_back({from, to, reason});
    }
    // Each stretch as "reason seconds", in order.
    std::vector<std::string> gapTexts() const {
        std::vector<std::string> out;
        for (const Gap& g : gaps)
            out.push_back(g.reason + " " + std::to_string(g.to - g.from));
        return out;
    }
    bool available() const override { return true; }
    std::string problem() const override { return {}; }
    SiteSummary summary(const std::string&, const std::string&, std::time_t, int) override { return {}; }
    std::vector<SeriesPoint> series(const std::string&, const std::string&, std::time_t,
                                    std::time_t) override {
        return {};
    }
    bool exportChecks(const std::string&, const std::string&,
                      const std::function<void(const CheckRecord&)>&) override {
        return true;
    }
};

} // namespace vantrel::test

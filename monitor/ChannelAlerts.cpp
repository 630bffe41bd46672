#include "monitor/ChannelAlerts.h"

#include "model/DateText.h"
#include "model/SiteEntry.h"
#include "monitor/CheckPass.h"

namespace vantrel {

namespace {

enum class State { Up, Slow, Down };

State stateOf(const std::string& status) {
    if (status == "OK" || status == "New" || status.empty())
        return State::Up;
    return status == CheckPass::kSlowStatus ? State::Slow : State::Down;
}

// The length of the UTF-8 sequence at `i`, 0 when there is none.
std::size_t sequenceAt(std::string_view s, std::size_t i) {
    const auto b = static_cast<unsigned char>(s[i]);
    const std::size_t n = b < 0x80             ? 1
                          : (b & 0xE0) == 0xC0 ? 2
                          : (b & 0xF0) == 0xE0 ? 3
                          : (b & 0xF8) == 0xF0 ? 4
                                               : 0;
    if (n == 0 || i + n > s.size() || (n == 2 && b < 0xC2))
        return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
            return 0;
    return n;
}

} // namespace

std::string ChannelAlerts::durationText(long long seconds) {
    const long long minutes = std::max(0LL, seconds) / 60;
    if (minutes < 60)
        return std::to_string(minutes) + " min";
    if (minutes < 24 * 60)
        return std::to_string(minutes / 60) + " h " + std::to_string(minutes % 60) + " min";
    return std::to_string(minutes / (24 * 60)) + " d " + std::to_string(minutes / 60 % 24) + " h";
}

std::string ChannelAlerts::pageExcerpt(std::string_view page, std::size_t chars) {
    std::string out;
    std::size_t count = 0;
    bool inTag = false;
    bool blank = false;
    for (std::size_t i = 0; i < page.size() && count < chars;) {
        const char c = page[i];
        const std::size_t n = sequenceAt(page, i);
        if (n == 0) {
            ++i;
            continue;
        }
        if (c == '<') {
            inTag = true;
        } else if (c == '>' && inTag) {
            inTag = false;
            blank = true;
        } else if (!inTag) {
            const auto u = static_cast<unsigned char>(c);
            if (n == 1 && (u == ' ' || (u >= '\t' && u <= '\r'))) {
                blank = true;
            } else if (n == 1 && (u < 0x20 || u == 0x7F)) {
                // Other control characters are left out.
            } else {
                if (blank && !out.empty()) {
                    out += ' ';
                    ++count;
                }
                blank = false;
                if (count < chars) {
                    out.append(page.substr(i, n));
                    ++count;
                }
            }
        }
        i += n;
    }
    return out;
}

std::optional<AlertMessage> ChannelAlerts::checked(const SiteEntry& site, const std::string& before,
                                                   std::time_t now, std::string_view page,
                                                   Reminders reminders) {
    Memory& memory = sites_[site.title + "\n" + site.url];
    const State was = stateOf(before);
    const State is = stateOf(site.status);

    AlertMessage& m = explanation_;
    m = AlertMessage{};
    m.title = site.title;
    m.url = site.url;
    m.reason = site.reason;
    m.time = site.checkDate;
    m.lastGood = memory.lastGood;
    auto since = [&] {
        if (memory.downSince == 0)
            return;
        m.downSince = DateText::dateTime(memory.downSince);
        if (now > memory.downSince)
            m.duration = durationText(static_cast<long long>(now - memory.downSince));
    };

    if (is == State::Up) {
        const bool recovered = was != State::Up;
        m.state = "up";
        since();
        m.lastGood.clear(); // it is this check
        memory = Memory{};
        memory.lastGood = site.checkDate;
        return recovered ? std::optional<AlertMessage>(m) : std::nullopt;
    }
    if (is == State::Slow) {
        memory.downSince = 0;
        memory.reminders = 0;
        m.state = "slow";
        return was != State::Slow ? std::optional<AlertMessage>(m) : std::nullopt;
    }

    // Down.
    m.page = pageExcerpt(page);
    m.state = "down";
    if (was != State::Down || memory.downSince == 0) {
        const bool news = was != State::Down;
        memory.downSince = now;
        memory.lastAlert = now;
        memory.reminders = 0;
        since();
        return news ? std::optional<AlertMessage>(m) : std::nullopt;
    }
    since();
    const long long every = static_cast<long long>(reminders.everyMinutes) * 60;
    if (every <= 0 || paused_ || memory.reminders >= reminders.max || now - memory.lastAlert < every)
        return std::nullopt;
    ++memory.reminders;
    memory.lastAlert = now;
    m.state = "still down";
    return m;
}

} // namespace vantrel

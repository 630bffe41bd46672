#include "notify/ChannelOutbox.h"

#include "model/DataFile.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace vantrel {

namespace {

using nlohmann::json;

long long secondsOf(OutboxEntry::Time t) {
    return std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count();
}

OutboxEntry::Time timeOf(long long seconds) {
    return OutboxEntry::Time(std::chrono::seconds(seconds));
}

// Texts from the user's files may hold bytes that are not UTF-8, which a
// JSON document cannot carry: they are replaced, never refused.
json text(const std::string& s) {
    return json(s);
}

} // namespace

ChannelOutbox::ChannelOutbox(std::string path) : path_(std::move(path)) {
    if (!path_.empty())
        saver_ = std::thread([this] { runSaver(); });
}

ChannelOutbox::~ChannelOutbox() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    if (saver_.joinable())
        saver_.join();
}

void ChannelOutbox::flush() {
    std::unique_lock lock(mutex_);
    written_.wait(lock, [this] { return onDisk_ >= version_ || !saver_.joinable(); });
}

// Saves the latest entries whenever they changed; at the end, once more if
// they changed since the last save.
void ChannelOutbox::runSaver() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return version_ > onDisk_ || ending_; });
        if (version_ == onDisk_)
            return;
        const unsigned long long version = version_;
        const std::string bytes = toJson(entries_);
        struct stat st {};
        // A user who never had an alert to keep never gets the file.
        const bool skip = entries_.empty() && ::stat(path_.c_str(), &st) != 0;
        lock.unlock();
        const bool ok = skip || DataFile::save(path_, bytes);
        lock.lock();
        saved_ = ok;
        onDisk_ = version;
        written_.notify_all();
    }
}

std::string ChannelOutbox::toJson(const std::vector<OutboxEntry>& entries) {
    json list = json::array();
    for (const OutboxEntry& e : entries) {
        const AlertMessage& m = e.message;
        list.push_back({{"id", text(e.id)},
                        {"channel", text(e.channel)},
                        {"tries", e.tries},
                        {"queued", secondsOf(e.queued)},
                        {"due", secondsOf(e.due)},
                        {"lastError", text(e.lastError)},
                        {"title", text(m.title)},
                        {"url", text(m.url)},
                        {"state", text(m.state)},
                        {"reason", text(m.reason)},
                        {"time", text(m.time)},
                        {"downSince", text(m.downSince)},
                        {"duration", text(m.duration)},
                        {"lastGood", text(m.lastGood)},
                        {"page", text(m.page)}});
    }
    return json{{"outbox", 1}, {"alerts", list}}.dump(1, ' ', false, json::error_handler_t::replace) + "\n";
}

std::optional<std::vector<OutboxEntry>> ChannelOutbox::fromJson(const std::string& bytes) {
    const json doc = json::parse(bytes, nullptr, false);
    if (doc.is_discarded() || !doc.is_object() || !doc.contains("alerts") || !doc["alerts"].is_array())
        return std::nullopt;
    std::vector<OutboxEntry> entries;
    for (const json& a : doc["alerts"]) {
        if (!a.is_object())
            return std::nullopt;
        auto str = [&a](const char* key) {
            auto it = a.find(key);
            return it != a.end() && it->is_string() ? it->get<std::string>() : std::string();
        };
        auto num = [&a](const char* key) {
            auto it = a.find(key);
            return it != a.end() && it->is_number_integer() ? it->get<long long>() : 0LL;
        };
        OutboxEntry e;
        e.id = str("id");
        e.channel = str("channel");
        e.tries = static_cast<int>(std::clamp(num("tries"), 0LL, 1000LL));
        e.queued = timeOf(num("queued"));
        e.due = timeOf(num("due"));
        e.lastError = str("lastError");
        e.message =
            AlertMessage{str("title"),     str("url"),      str("state"),    str("reason"), str("time"),
                         str("downSince"), str("duration"), str("lastGood"), str("page")};
        if (e.id.empty() || e.channel.empty())
            continue;
        entries.push_back(std::move(e));
    }
    return entries;
}

bool ChannelOutbox::load(std::string* error) {
    std::lock_guard lock(mutex_);
    if (path_.empty())
        return true;
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0)
        return true; // no outbox yet
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    std::optional<std::vector<OutboxEntry>> read;
    if (in && S_ISREG(st.st_mode))
        read = fromJson(bytes.str());
    if (!read) {
        held_ = true;
        if (error)
            *error = "The alert outbox " + path_ + " could not be read; it is left as it is.";
        return false;
    }
    entries_ = std::move(*read);
    return true;
}

std::string ChannelOutbox::add(OutboxEntry entry) {
    std::lock_guard lock(mutex_);
    const std::string id = addLocked(std::move(entry));
    saveLocked();
    return id;
}

void ChannelOutbox::add(std::vector<OutboxEntry> entries) {
    std::lock_guard lock(mutex_);
    for (OutboxEntry& e : entries)
        addLocked(std::move(e));
    saveLocked();
}

std::string ChannelOutbox::addLocked(OutboxEntry entry) {
    if (entry.id.empty())
        entry.id = "vantrel-" + std::to_string(secondsOf(entry.queued)) + "-" + std::to_string(++sequence_);
    // Unique among the entries kept, also those read back from a file.
    while (
        std::any_of(entries_.begin(), entries_.end(), [&](const OutboxEntry& e) { return e.id == entry.id; }))
        entry.id += "x";
    const std::string id = entry.id;
    entries_.push_back(std::move(entry));
    return id;
}

void ChannelOutbox::update(const OutboxEntry& entry) {
    std::lock_guard lock(mutex_);
    for (OutboxEntry& e : entries_)
        if (e.id == entry.id)
            e = entry;
    saveLocked();
}

void ChannelOutbox::remove(const std::string& id) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [&](const OutboxEntry& e) { return e.id == id; });
    saveLocked();
}

std::optional<OutboxEntry> ChannelOutbox::first(const std::string& channel) const {
    std::lock_guard lock(mutex_);
    const OutboxEntry* best = nullptr;
    for (const OutboxEntry& e : entries_)
        if (e.channel == channel && (!best || e.due < best->due))
            best = &e;
    return best ? std::optional<OutboxEntry>(*best) : std::nullopt;
}

std::vector<OutboxEntry> ChannelOutbox::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

bool ChannelOutbox::saved() const {
    std::lock_guard lock(mutex_);
    return saved_;
}

void ChannelOutbox::saveLocked() {
    if (path_.empty() || held_)
        return;
    ++version_;
    changed_.notify_all();
}

} // namespace vantrel

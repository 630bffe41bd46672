#pragma once

#include "notify/AlertMessage.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vantrel {

// One alert waiting to go to one channel.
struct OutboxEntry {
    using Time = std::chrono::system_clock::time_point;
    std::string id;      // unique, and the same for every try (a Matrix transaction id)
    std::string channel; // the channel's setting value, "ntfy https://ntfy.sh/x"
    AlertMessage message;
    int tries = 0; // sends tried so far
    Time queued{}; // when the alert was raised
    Time due{};    // when the next try may go
    std::string lastError;

    bool operator==(const OutboxEntry&) const = default;
};

// The alerts not yet delivered, kept in memory and in a small JSON file
// beside the data files, so that a restart loses none. Every change is
// saved atomically (a new file renamed over the old one, flushed to disk),
// so a crash leaves either the old list or the new one. The saves run on a
// thread of the outbox's own, several changes in one save, so that a check
// pass that hands over an alert never waits for the disk; flush() and the
// end of the outbox wait for the last one. All members may be called from
// any thread.
class ChannelOutbox {
public:
    static constexpr const char* kFileName = "vantrel-outbox.json";

    // `path` empty: kept in memory only.
    explicit ChannelOutbox(std::string path = kFileName);
    ~ChannelOutbox();
    ChannelOutbox(const ChannelOutbox&) = delete;
    ChannelOutbox& operator=(const ChannelOutbox&) = delete;

    // Waits until every change so far is on disk (or its save failed).
    void flush();

    // Reads the file; a missing one is an empty outbox. False, with
    // `error` set, when the file cannot be read or is not an outbox; it is
    // then left as it is and nothing is written over it.
    bool load(std::string* error = nullptr);

    // Adds `entry` (its id made unique when empty) and returns its id.
    std::string add(OutboxEntry entry);
    // Adds every entry with one save: an alert for several channels.
    void add(std::vector<OutboxEntry> entries);
    void update(const OutboxEntry& entry);
    void remove(const std::string& id);

    // The entry for `channel` due first, whether due yet or not.
    std::optional<OutboxEntry> first(const std::string& channel) const;
    std::vector<OutboxEntry> entries() const;
    // False when the last save failed (the disk is full, the folder is not
    // writable): the entries are still kept in memory.
    bool saved() const;

    // The JSON form, and back (nothing when `text` is not an outbox).
    static std::string toJson(const std::vector<OutboxEntry>& entries);
    static std::optional<std::vector<OutboxEntry>> fromJson(const std::string& text);

private:
    void saveLocked();
    std::string addLocked(OutboxEntry entry);
    void runSaver();

    std::string path_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::condition_variable written_;
    unsigned long long version_ = 0; // changes made
    unsigned long long onDisk_ = 0;  // changes saved
    bool ending_ = false;
    std::thread saver_;
    std::vector<OutboxEntry> entries_;
    unsigned long long sequence_ = 0;
    bool held_ = false; // the file could not be read: never written over
    bool saved_ = true;
};

} // namespace vantrel

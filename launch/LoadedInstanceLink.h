#pragma once

#include "cli/FolderLink.h"

#include <string>

namespace vantrel {

// The folder commands' FolderLink in the executable: it loads the instance
// library (Qt's local socket) when a command first needs the folder, so
// `check` and the commands that never reach the folder load nothing of Qt.
// A library that cannot be loaded is a problem the command reports.
class LoadedInstanceLink : public FolderLink {
public:
    LoadedInstanceLink() = default;
    ~LoadedInstanceLink() override;
    LoadedInstanceLink(const LoadedInstanceLink&) = delete;
    LoadedInstanceLink& operator=(const LoadedInstanceLink&) = delete;

    std::optional<FolderReply> ask(const FolderRequest& request, std::chrono::milliseconds wait,
                                   std::string& problem) override;
    bool lock(std::string& why) override;
    void unlock() override;

private:
    // The library's link; null, with `why`, when it cannot be loaded.
    FolderLink* link(std::string& why);

    FolderLink* link_ = nullptr;
    void (*close_)() = nullptr;
    std::string loadError_;
};

} // namespace vantrel

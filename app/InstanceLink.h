#pragma once

#include "cli/FolderLink.h"

#include <memory>

namespace vantrel {

class InstanceGuard;

// The command line's way to the folder in the current directory: the
// instance running there over its local socket (the request after the
// socket's usual greeting, the pid line), and, when none answers, the
// folder's lock, taken as a start would take it (InstanceGuard), so that a
// window cannot start on the files while they change.
class InstanceLink : public FolderLink {
public:
    InstanceLink();
    ~InstanceLink() override;

    std::optional<FolderReply> ask(const FolderRequest& request, std::chrono::milliseconds wait,
                                   std::string& problem) override;
    bool lock(std::string& why) override;
    void unlock() override;

private:
    std::unique_ptr<InstanceGuard> guard_;
};

} // namespace vantrel

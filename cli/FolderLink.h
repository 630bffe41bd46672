#pragma once

#include "cli/FolderRequest.h"

#include <chrono>
#include <optional>
#include <string>

namespace vantrel {

// How the command line reaches the folder it runs in: the instance running
// there, if any, over its local socket, and the folder's lock for an edit of
// the files when none runs. The Qt layer implements it (InstanceLink); tests
// implement it in memory.
class FolderLink {
public:
    virtual ~FolderLink() = default;

    // Sends `request` to the instance running in the folder and waits up to
    // `wait` for its reply. nullopt with an empty `problem` when no instance
    // runs; nullopt with `problem` set when one runs but gave no usable reply.
    virtual std::optional<FolderReply> ask(const FolderRequest& request, std::chrono::milliseconds wait,
                                           std::string& problem) = 0;
    // Takes the folder for this process; false, with `why`, when it cannot
    // (another program holds it). Released by unlock() or the destructor.
    virtual bool lock(std::string& why) = 0;
    virtual void unlock() = 0;
};

} // namespace vantrel

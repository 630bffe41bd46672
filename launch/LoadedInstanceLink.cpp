#include "launch/LoadedInstanceLink.h"

#include "launch/LibraryEntries.h"
#include "launch/ProgramLibrary.h"

namespace vantrel {

LoadedInstanceLink::~LoadedInstanceLink() {
    if (close_)
        close_();
}

FolderLink* LoadedInstanceLink::link(std::string& why) {
    if (!link_ && loadError_.empty()) {
        using Open = FolderLink* (*)();
        using Close = void (*)();
        std::string error;
        auto open = reinterpret_cast<Open>(
            ProgramLibrary::entry(library::kInstanceLinkFile, library::kInstanceLinkOpen, error));
        auto close = open ? reinterpret_cast<Close>(ProgramLibrary::entry(library::kInstanceLinkFile,
                                                                          library::kInstanceLinkClose, error))
                          : nullptr;
        if (open && close) {
            link_ = open();
            close_ = close;
        } else {
            loadError_ = "vantrel: " + error;
        }
    }
    if (!link_)
        why = loadError_;
    return link_;
}

std::optional<FolderReply> LoadedInstanceLink::ask(const FolderRequest& request,
                                                   std::chrono::milliseconds wait, std::string& problem) {
    FolderLink* to = link(problem);
    return to ? to->ask(request, wait, problem) : std::nullopt;
}

bool LoadedInstanceLink::lock(std::string& why) {
    FolderLink* to = link(why);
    return to && to->lock(why);
}

void LoadedInstanceLink::unlock() {
    if (link_)
        link_->unlock();
}

} // namespace vantrel

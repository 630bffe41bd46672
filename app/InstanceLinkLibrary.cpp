// The folder commands' link to a running instance, as a library the
// executable loads only for those commands: Qt Core and Network, no window.
#include "app/InstanceLink.h"
#include "launch/LibraryEntries.h"

#include <QCoreApplication>

#include <memory>

namespace {

// Qt's local socket needs an application object; it is made before the
// link and ends after it.
struct OpenLink {
    int argc = 1;
    char programName[8] = "vantrel";
    char* argv[2] = {programName, nullptr};
    QCoreApplication core{argc, argv};
    vantrel::InstanceLink link;
};

std::unique_ptr<OpenLink> openLink;

} // namespace

vantrel::FolderLink* vantrel_instance_link_open() {
    if (!openLink)
        openLink = std::make_unique<OpenLink>();
    return &openLink->link;
}

void vantrel_instance_link_close() {
    openLink.reset();
}

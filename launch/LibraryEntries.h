#pragma once

namespace vantrel {
class FolderLink;
}

// The functions the executable looks up in the program's two libraries
// (see ProgramLibrary). C names, so dlsym finds them by these words.
#define VANTREL_LIBRARY_ENTRY extern "C" __attribute__((visibility("default")))

// libvantrel-desktop.so: the desktop program, started with the program's
// own arguments (no command word among them). Returns the exit status.
VANTREL_LIBRARY_ENTRY int vantrel_desktop_main(int argc, char** argv);

// libvantrel-instance-link.so: the link of the folder commands to a running
// instance and to the folder's lock, over Qt's local socket. open() makes
// the QCoreApplication it needs and returns the one link; close() ends both.
VANTREL_LIBRARY_ENTRY vantrel::FolderLink* vantrel_instance_link_open();
VANTREL_LIBRARY_ENTRY void vantrel_instance_link_close();

namespace vantrel::library {
inline constexpr const char* kDesktopFile = "libvantrel-desktop.so";
inline constexpr const char* kDesktopMain = "vantrel_desktop_main";
inline constexpr const char* kInstanceLinkFile = "libvantrel-instance-link.so";
inline constexpr const char* kInstanceLinkOpen = "vantrel_instance_link_open";
inline constexpr const char* kInstanceLinkClose = "vantrel_instance_link_close";
} // namespace vantrel::library

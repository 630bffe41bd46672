#pragma once

#include <string>

namespace vantrel {

// The program's entry among the programs the desktop starts at log-in: the
// XDG autostart file `$XDG_CONFIG_HOME/autostart/vantrel.desktop` (with
// `$HOME/.config` when XDG_CONFIG_HOME is unset, empty or relative).
class XdgAutostart {
public:
    static constexpr const char* kFileName = "vantrel.desktop";

    // Full path of the entry file; empty when neither XDG_CONFIG_HOME nor
    // HOME gives an absolute directory.
    static std::string entryPath();

    // Writes the entry so that the desktop starts `executable` with
    // `workingDirectory` as its current directory, creating the autostart
    // folder when needed. False when the entry could not be written.
    static bool add(const std::string& executable, const std::string& workingDirectory);
    // Deletes the entry; a missing entry or a failure is not reported.
    static void remove();

    // The entry's text for these paths, quoted and escaped as desktop
    // entries require.
    static std::string desktopEntry(const std::string& executable, const std::string& workingDirectory);
    // The real path of the running program (from /proc/self/exe); empty
    // when it cannot be read.
    static std::string currentExecutable();
};

} // namespace vantrel

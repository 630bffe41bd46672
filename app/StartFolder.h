#pragma once

#include <string>

namespace vantrel {

// The folder a start from the desktop's menu runs in. A terminal start keeps
// its current directory; the menu has none worth keeping, so the program
// keeps its files together in `$XDG_DATA_HOME/vantrel` (with
// `$HOME/.local/share` when XDG_DATA_HOME is unset, empty or relative). A home
// folder that already holds vantrel.dat, where earlier versions kept the list,
// stays the folder, so no list is left behind.
class StartFolder {
public:
    // The folder for this home and XDG_DATA_HOME value (either may be empty).
    static std::string forMenuStart(const std::string& home, const std::string& xdgDataHome);
    // The folder for the running user, from the environment.
    static std::string forMenuStart();
    // Creates `folder` (and its parents, private to the user) when missing and
    // makes it the current directory. When it cannot be made, the home folder
    // is used instead; false when no folder could be entered.
    static bool enter(const std::string& folder, const std::string& home);
    // The user's home folder: HOME, else the password database.
    static std::string home();
};

} // namespace vantrel

#pragma once

#include <QString>

#include <functional>

namespace vantrel {

// What every file dialog of the program needs around it. The data files are
// opened by bare names in the current directory, so a dialog that moves it
// must not leave it moved; and Qt's file dialog would keep its last folder in
// the user's shared Qt settings, which the program never writes.
class FileDialogGuard {
public:
    // Runs `choose` (a dialog, or a test's stand-in) and puts the current
    // directory back as it was before; returns what `choose` returned.
    static QString keepingFolder(const std::function<QString()>& choose);
    // Points user-scope Qt settings below a device, where no file can be
    // made: the dialog then starts in the current directory and its write
    // of the last folder fails quietly.
    static void keepSettingsAway();
};

} // namespace vantrel

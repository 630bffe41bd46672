#include "ui/FileDialogGuard.h"

#include <QSettings>

#include <filesystem>

namespace vantrel {

QString FileDialogGuard::keepingFolder(const std::function<QString()>& choose) {
    std::error_code ec;
    const std::filesystem::path cwd = std::filesystem::current_path(ec);
    const QString chosen = choose ? choose() : QString();
    if (!ec)
        std::filesystem::current_path(cwd, ec);
    return chosen;
}

void FileDialogGuard::keepSettingsAway() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
}

} // namespace vantrel

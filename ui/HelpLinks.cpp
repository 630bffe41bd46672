#include "ui/HelpLinks.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

namespace vantrel {

HelpLinks::HelpLinks() : opener_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {}

QString HelpLinks::manualPath(const QString& programDir, const QString& sourceDir) {
    const QString installed =
        QDir::cleanPath(programDir + QLatin1Char('/') + QLatin1String(kInstalledManual));
    if (QFileInfo::exists(installed))
        return installed;
    // Run from the build tree: the manual is read where it is written.
    const QString source = QDir::cleanPath(sourceDir + QStringLiteral("/docs/manual.html"));
    if (!sourceDir.isEmpty() && QFileInfo::exists(source))
        return source;
    return installed;
}

QUrl HelpLinks::manualUrl() {
    return QUrl::fromLocalFile(
        manualPath(QCoreApplication::applicationDirPath(), QStringLiteral(VANTREL_SOURCE_DIR)));
}

QString HelpLinks::manualUnopenedText() {
    return QStringLiteral("No program could open the manual. Open this file in a web browser:\n") +
           manualUrl().toLocalFile();
}

QUrl HelpLinks::moreInfoUrl() {
    QUrl url = manualUrl();
    url.setFragment(QString::fromLatin1(kOverviewSection));
    return url;
}

QUrl HelpLinks::supportUrl(const char* address) {
    if (!address || !*address) {
        QUrl url = manualUrl();
        url.setFragment(QString::fromLatin1(kSupportSection));
        return url;
    }
    return QUrl(QStringLiteral("mailto:") + QString::fromLatin1(address) +
                QString::fromLatin1(kSupportQuery));
}

std::string HelpLinks::uninstallText() {
    return "To uninstall the program:\r\nRemove the vantrel package with your package manager "
           "(apt remove vantrel), or delete the files that cmake --install put in place.\r\n";
}

} // namespace vantrel

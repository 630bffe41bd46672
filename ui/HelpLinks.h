#pragma once

#include <QString>
#include <QUrl>

#include <functional>
#include <string>

namespace vantrel {

// Where the Help commands lead: the user manual that ships with the program,
// its overview section, a support mail and the uninstall note. Pages and
// mails are handed to the desktop (the user's browser and mail program)
// through a replaceable opener, so tests can record them instead.
class HelpLinks {
public:
    // The support mailbox, the one place it is kept. The project has none
    // yet: Support then opens the manual's support section, since a mail
    // with no addressee would reach nobody.
    static constexpr const char* kSupportAddress = "";
    static constexpr const char* kSupportQuery = "?subject=VantrelSupport";
    // The id of the manual's overview section, which More Info opens.
    static constexpr const char* kOverviewSection = "overview";
    // The id of the manual's section on getting help.
    static constexpr const char* kSupportSection = "support";
    // Where `cmake --install` puts the manual, relative to the program's folder.
    static constexpr const char* kInstalledManual = "../share/doc/vantrel/manual.html";

    using Opener = std::function<bool(const QUrl&)>;

    HelpLinks();

    // The installed manual when it is there, else the copy in the source tree
    // under `sourceDir`; the installed path when neither exists.
    static QString manualPath(const QString& programDir, const QString& sourceDir);
    // The manual of this program, found from its own folder.
    static QUrl manualUrl();
    static QUrl moreInfoUrl();
    // A mail to `address` with the support subject, or the manual's support
    // section when there is no address.
    static QUrl supportUrl(const char* address = kSupportAddress);
    // The caption and text of the uninstall note, for this platform.
    static constexpr const char* kUninstallCaption = "How to Uninstall:";
    static std::string uninstallText();

    // False when no program could open the manual.
    bool openManual() const { return opener_(manualUrl()); }
    static constexpr const char* kManualCaption = "Manual";
    // What Help > Manual says when no program could open the manual.
    static QString manualUnopenedText();
    void openMoreInfo() const { opener_(moreInfoUrl()); }
    void openSupport() const { opener_(supportUrl()); }

    // Replaces the desktop's opener; the result of an opener is not looked at.
    void setOpener(Opener opener) { opener_ = std::move(opener); }

private:
    Opener opener_;
};

} // namespace vantrel

#include "ui/TrayIcon.h"

#include "monitor/ReasonText.h"
#include "monitor/TrayDigest.h"
#include "ui/QtText.h"
#include "ui/TrayBadge.h"

#include <QApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QStyle>

#include <map>

// The icons are compiled into the static ui library, where no code refers to
// them: unless they are registered by name, the linker leaves them out of the
// program and every icon falls back to the style's generic one.
static void registerIconResources() {
    Q_INIT_RESOURCE(resources);
}

namespace vantrel {

namespace {

constexpr int kFrames[] = {TrayIcon::kOnFrame1, TrayIcon::kOnFrame2, TrayIcon::kOnFrame1, TrayIcon::kOnIcon};
const char* const kOnTip = "Vantrel: On";

} // namespace

TrayIcon::TrayIcon(QObject* parent) : QObject(parent) {
    menu_.setTitle(QStringLiteral("&Menu"));
    // The failing sites come first (added by setDigest above this line),
    // then what acts on all sites, then the three entries of old in their order.
    more_ = menu_.addAction(QString());
    more_->setEnabled(false);
    more_->setVisible(false);
    sitesEnd_ = menu_.addSeparator();
    sitesEnd_->setVisible(false);
    checkAll_ = menu_.addAction(QStringLiteral("Check all now"), this, &TrayIcon::checkAllRequested);
    snooze_.setTitle(QStringLiteral("Snooze alerts"));
    const char* const choices[] = {"For 1 hour", "For 4 hours", "Until tomorrow 08:00"};
    for (int i = 0; i < 3; ++i)
        snooze_.addAction(QString::fromLatin1(choices[i]), this, [this, i] { emit snoozeAllRequested(i); });
    menu_.addMenu(&snooze_);
    menu_.addSeparator();
    help_ = menu_.addAction(QStringLiteral("&Help"), this, &TrayIcon::helpRequested);
    quit_ = menu_.addAction(QStringLiteral("&Quit"), this, &TrayIcon::quitRequested);
    preferences_ = menu_.addAction(QStringLiteral("&Preferences"), this, &TrayIcon::preferencesRequested);
    animation_.setInterval(kFrameMs);
    connect(&animation_, &QTimer::timeout, this, &TrayIcon::nextFrame);
    connect(&tray_, &QSystemTrayIcon::activated, this, &TrayIcon::onActivated);
    // A StatusNotifierItem host shows the menu itself, from the copy Qt
    // exports over D-Bus; an XEmbed tray gets it from onActivated.
    if (statusNotifierTray())
        tray_.setContextMenu(&menu_);
}

bool TrayIcon::statusNotifierTray() {
    static const bool sni = [] {
        // Without a display there is no tray of either kind to ask about.
        const QString platform = QGuiApplication::platformName();
        if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
            return false;
        QDBusConnection bus = QDBusConnection::sessionBus();
        const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
        if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(watcher))
            return false;
        QDBusMessage get = QDBusMessage::createMethodCall(watcher, QStringLiteral("/StatusNotifierWatcher"),
                                                          QStringLiteral("org.freedesktop.DBus.Properties"),
                                                          QStringLiteral("Get"));
        get << watcher << QStringLiteral("IsStatusNotifierHostRegistered");
        const QDBusMessage reply = bus.call(get, QDBus::Block, 2000);
        return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
               reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
    }();
    return sni;
}

QIcon TrayIcon::icon(int id) {
    // Made once for each state: a pass sets the tray's state after every
    // site, and reading the pictures again each time cost more than the
    // check itself. Used on the window's thread only, and kept to the end
    // of the process: icons must not outlive the application object.
    static auto* made = new std::map<int, QIcon>;
    auto known = made->find(id);
    if (known != made->end())
        return known->second;
    return (*made)[id] = loadIcon(id);
}

QIcon TrayIcon::loadIcon(int id) {
    static const bool registered = (registerIconResources(), true);
    (void)registered;
    QIcon icon(QStringLiteral(":/icons/%1.png").arg(id));
    // The tray states also come drawn at the sizes trays ask for, so no tray
    // shows a blurred copy scaled down from 32 pixels.
    if (id != kAppIcon)
        for (int size : kTraySizes)
            icon.addFile(QStringLiteral(":/icons/%1-%2.png").arg(id).arg(size), QSize(size, size));
    if (icon.isNull() || icon.availableSizes().isEmpty())
        return QApplication::style()->standardIcon(id == kAlertIcon ? QStyle::SP_MessageBoxWarning
                                                                    : QStyle::SP_ComputerIcon);
    return icon;
}

bool TrayIcon::trayAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

QString TrayIcon::shownTip(int iconId, const QString& tip) const {
    return offline_ && iconId != kOffIcon ? QStringLiteral("Vantrel: Offline") : tip;
}

void TrayIcon::setState(int iconId, const QString& tip) {
    // A pass sets the state after every site, mostly the one already shown:
    // then the icon, the tip and the window have nothing new to show.
    const bool available = added_ && trayAvailable();
    if (stated_ && iconId == iconId_ && tip == stateTip_ && shownTip(iconId, tip) == tip_ &&
        statedAdded_ == added_ && statedAvailable_ == available)
        return;
    iconId_ = iconId;
    stateTip_ = tip;
    tip_ = shownTip(iconId, tip);
    stated_ = true;
    statedAdded_ = added_;
    statedAvailable_ = available;
    if (added_) {
        showIcon();
        tray_.setToolTip(toolTip());
        if (available)
            tray_.show();
    }
    emit stateChanged(iconId, toolTip());
}

QString TrayIcon::toolTip() const {
    QString text = tip_;
    for (const QString* line : {&digestTip_, &notice_})
        if (!line->isEmpty())
            text += QLatin1Char('\n') + *line;
    return text;
}

void TrayIcon::showIcon() {
    // A pass sets the state after every site: the badge is drawn again only
    // when the state or a count changed.
    const int key = (iconId_ * 1000 + std::min(down_, 999)) * 1000 + std::min(slow_, 999);
    if (key != shownKey_) {
        shownIcon_ = TrayBadge::badged(icon(iconId_), down_, slow_);
        shownKey_ = key;
    }
    tray_.setIcon(shownIcon_);
}

void TrayIcon::setDigest(const TrayDigest& digest, std::time_t now) {
    const QString tip = QtText::toQt(digest.toolTip(now));
    const bool counts = digest.downCount() != down_ || digest.slowCount() != slow_;
    down_ = digest.downCount();
    slow_ = digest.slowCount();
    QStringList keys;
    for (const TrayDigest::Site& s : digest.failing())
        keys << QtText::toQt(s.title + "\n" + s.url + "\n" + s.reason);
    if (keys != siteKeys_) {
        siteKeys_ = keys;
        for (QAction* a : siteActions_)
            a->deleteLater();
        siteActions_.clear();
        const std::size_t listed = std::min(digest.failing().size(), TrayDigest::kMaxListed);
        for (std::size_t i = 0; i < listed; ++i) {
            const TrayDigest::Site& s = digest.failing()[i];
            // "&" would mark a shortcut; "&&" shows it.
            QString text = QtText::toQt(ReasonText::clip(s.title) + ": " + ReasonText::clip(s.reason));
            text.replace(QLatin1Char('&'), QStringLiteral("&&"));
            auto* action = new QAction(text, &menu_);
            const QString title = QtText::toQt(s.title), url = QtText::toQt(s.url);
            connect(action, &QAction::triggered, this, [this, title, url] { emit siteChosen(title, url); });
            menu_.insertAction(more_, action);
            siteActions_.push_back(action);
        }
        const std::size_t rest = digest.failing().size() - listed;
        more_->setText(QStringLiteral("and %1 more").arg(rest));
        more_->setVisible(rest > 0);
        sitesEnd_->setVisible(!siteActions_.empty());
    }
    if (tip == digestTip_ && !counts)
        return;
    digestTip_ = tip;
    if (added_) {
        showIcon();
        tray_.setToolTip(toolTip());
    }
    emit stateChanged(iconId_, toolTip());
}

void TrayIcon::setNotice(const QString& notice) {
    if (notice == notice_)
        return;
    notice_ = notice;
    if (added_)
        tray_.setToolTip(toolTip());
    emit stateChanged(iconId_, toolTip());
}

void TrayIcon::notify(const QString& title, const QString& text) {
    if (added_ && trayAvailable() && QSystemTrayIcon::supportsMessages())
        tray_.showMessage(title, text, QSystemTrayIcon::Warning);
}

void TrayIcon::setOffline(bool offline) {
    if (offline == offline_)
        return;
    offline_ = offline;
    if (iconId_ != 0)
        setState(iconId_, stateTip_);
}

void TrayIcon::add() {
    added_ = true;
    setState(kAppIcon, QStringLiteral("Vantrel"));
}

void TrayIcon::remove() {
    animation_.stop();
    added_ = false;
    tray_.hide();
}

void TrayIcon::showOn() {
    frame_ = 0;
    setState(kFrames[0], QString::fromLatin1(kOnTip));
    animation_.start();
}

void TrayIcon::nextFrame() {
    ++frame_;
    if (frame_ >= static_cast<int>(std::size(kFrames))) {
        animation_.stop();
        return;
    }
    setState(kFrames[frame_], QString::fromLatin1(kOnTip));
    if (frame_ == static_cast<int>(std::size(kFrames)) - 1)
        animation_.stop();
}

void TrayIcon::showOff() {
    animation_.stop();
    setState(kOffIcon, QStringLiteral("Vantrel: Off"));
}

void TrayIcon::showAlert() {
    animation_.stop();
    setState(kAlertIcon, QStringLiteral("Vantrel"));
}

void TrayIcon::showSlow() {
    animation_.stop();
    setState(kSlowIcon, QStringLiteral("Vantrel: Slow"));
}

void TrayIcon::onActivated(QSystemTrayIcon::ActivationReason reason) {
    // A StatusNotifierItem host turns a click into Activate (Trigger) and
    // never reports a double-click: there Activate leads back to the window.
    // On an XEmbed tray a single click still does nothing.
    if (reason == QSystemTrayIcon::DoubleClick ||
        (reason == QSystemTrayIcon::Trigger && statusNotifierTray()))
        emit restoreRequested();
    else if (reason == QSystemTrayIcon::Context && !statusNotifierTray())
        menu_.popup(QCursor::pos() - QPoint(50, 0));
}

} // namespace vantrel

#include "app/SiteMonitorApp.h"

#include "app/ChannelsWiring.h"
#include "app/FolderCommandServer.h"
#include "app/InstanceGuard.h"
#include "app/MetricsServer.h"
#include "app/PowerNetworkWatch.h"
#include "app/QtEventPump.h"
#include "app/SignalBridge.h"
#include "app/SiteMonitorDlg.h"
#include "monitor/MetricsText.h"
#include "ui/QtText.h"

#include <QApplication>
#include <QMessageBox>

#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace vantrel {

namespace {

// Sockets need no start-up on this platform, but a process may still be
// unable to make one (a sandbox, no descriptors left): that is checked here
// so the program ends with its message instead of failing at the first mail.
bool socketsUsable() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

// The metrics of a headless run, served where the settings say; none when
// they name no address or it cannot be listened on (said on standard error).
std::unique_ptr<MetricsServer> startMetrics(CSiteMonitorDlg& dialog) {
    SiteMonitor& engine = dialog.engine();
    const std::string& address = engine.extraSettings().metricsAddress;
    if (address.empty())
        return nullptr;
    auto metrics = std::make_unique<MetricsServer>([&engine] { return MetricsText::render(engine); });
    QObject::connect(metrics.get(), &MetricsServer::exposed, &dialog, &CSiteMonitorDlg::showFooterLine);
    QString error;
    if (!metrics->useTokenFile(engine.extraSettings().metricsTokenFile, error) ||
        !metrics->listen(QtText::toQt(address), error)) {
        std::fprintf(stderr, "Metrics: cannot listen on %s: %s\n", address.c_str(),
                     error.toUtf8().constData());
        std::fflush(stderr);
        return nullptr;
    }
    return metrics;
}

} // namespace

int CSiteMonitorApp::InitInstance(bool headless) {
    std::signal(SIGPIPE, SIG_IGN); // a peer that closes early must not end the program
    // Over a file-size limit a write then fails (and a save says so, keeping
    // the old file) instead of the program being killed.
    std::signal(SIGXFSZ, SIG_IGN);
    if (!socketsUsable()) {
        // The message keeps its historic wording although no Windows sockets are involved.
        if (headless)
            std::fputs("Vantrel: Windows sockets initialization failed.\n", stderr);
        else
            QMessageBox::warning(nullptr, QString::fromLatin1(kExecutableName),
                                 QStringLiteral("Windows sockets initialization failed."));
        return 1;
    }
    // One monitor per folder; a start on a display hands over to the running one.
    InstanceGuard guard;
    switch (guard.acquire(!headless)) {
    case InstanceGuard::Outcome::First:
        break;
    case InstanceGuard::Outcome::Handed:
        return 0;
    case InstanceGuard::Outcome::Running:
        std::fprintf(stderr, "%s\n", guard.refusalText().toLocal8Bit().constData());
        if (!headless)
            QMessageBox::warning(nullptr, QString::fromLatin1(kDisplayName), guard.refusalText());
        return InstanceGuard::kAlreadyRunningStatus;
    }
    QApplication::setQuitOnLastWindowClosed(false);

    CSiteMonitorDlg dialog;
    QObject::connect(&guard, &InstanceGuard::showRequested, &dialog, &CSiteMonitorDlg::OnTrayRestore);
    // The command line's commands work on this instance's rows.
    FolderCommandServer commands(dialog.engine(), dialog, dialog.clock());
    guard.setCommandHandler([&commands](const QByteArray& line, InstanceGuard::Reply reply) {
        commands.handle(line, std::move(reply));
    });
    dialog.setUnattended(headless);
    SignalBridge bridge;
    QObject::connect(&bridge, &SignalBridge::terminationRequested, &dialog,
                     [&dialog](int) { dialog.reject(); });
    QObject::connect(&dialog, &QDialog::finished, qApp, [] { QApplication::quit(); });
    dialog.QDialog::show();
    dialog.OnInitDialog();
    std::unique_ptr<MetricsServer> metrics = headless ? startMetrics(dialog) : nullptr;
    // A start without a single site is a new user's: the window comes up, so
    // there is something to begin with besides a small icon in the tray.
    if (!headless && dialog.engine().sites().rowCount() == 0)
        dialog.OnTrayRestore();
    ChannelsWiring channels(dialog, headless);
    channels.start();
    // Sleep, resume and the network's changes reach the engine.
    PowerNetworkWatch power(dialog.engine());
    QApplication::exec();
    guard.setCommandHandler(nullptr);
    dialog.OnDestroy();
    return dialog.exitSaveFailed() ? kExitSaveFailed : 0;
}

} // namespace vantrel

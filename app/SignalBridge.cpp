#include "app/SignalBridge.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vantrel {

namespace {

int gPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int sig) {
    const int saved = errno;
    unsigned char byte = static_cast<unsigned char>(sig);
    [[maybe_unused]] ssize_t n = ::write(gPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

SignalBridge::SignalBridge(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gPipe) != 0)
        return;
    notifier_ = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalBridge::readSignal);
    struct sigaction sa {};
    sa.sa_handler = onTerminationSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
}

SignalBridge::~SignalBridge() {
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
    if (gPipe[0] >= 0) {
        ::close(gPipe[0]);
        ::close(gPipe[1]);
        gPipe[0] = gPipe[1] = -1;
    }
}

void SignalBridge::readSignal() {
    unsigned char byte = 0;
    while (::read(gPipe[0], &byte, 1) == 1)
        emit terminationRequested(byte);
}

} // namespace vantrel

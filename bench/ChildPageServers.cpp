#include "bench/ChildPageServers.h"

#include "tests/support/HttpTestServer.h"

#include <cstdlib>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>

namespace vantrel::bench {

ChildPageServers::ChildPageServers(int count) {
    int ports[2];
    int hold[2];
    if (::pipe(ports) != 0 || ::pipe(hold) != 0)
        std::exit(1);
    child_ = ::fork();
    if (child_ == 0) {
        ::close(ports[0]);
        ::close(hold[1]);
        std::string page = "<html><body>";
        for (int i = 0; i < 200; ++i)
            page += "<p>Some ordinary text of an ordinary page, line " + std::to_string(i) + ".</p>\n";
        page += "Welcome</body></html>";
        std::vector<std::unique_ptr<test::HttpTestServer>> servers;
        std::string list;
        // The page servers serve one connection at a time (a thread for
        // each of many thousand connections would cost more than the
        // pages); the last server gives each connection a thread of its
        // own, so its hanging requests hold up no one.
        for (int s = 0; s <= count; ++s) {
            servers.push_back(std::make_unique<test::HttpTestServer>(s == count));
            servers.back()->route("/page", test::HttpTestServer::ok(page));
            servers.back()->route("/hang", test::HttpTestServer::silent());
            servers.back()->setRecording(false);
            list += servers.back()->hostPort() + "\n";
        }
        (void)!::write(ports[1], list.data(), list.size());
        ::close(ports[1]);
        char c;
        (void)!::read(hold[0], &c, 1); // until the parent closes its end
        servers.clear();
        ::_exit(0);
    }
    ::close(ports[1]);
    ::close(hold[0]);
    keep_ = hold[1];
    std::string text;
    char buf[256];
    for (ssize_t n; (n = ::read(ports[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<size_t>(n));
    ::close(ports[0]);
    for (size_t at = 0, nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
        hosts_.push_back(text.substr(at, nl - at));
    if (!hosts_.empty()) {
        hangHost_ = hosts_.back();
        hosts_.pop_back();
    }
}

ChildPageServers::~ChildPageServers() {
    ::close(keep_);
    int status = 0;
    ::waitpid(child_, &status, 0);
}

std::string ChildPageServers::url(int i, const std::string& path) const {
    return "http://" + hosts_[static_cast<size_t>(i) % hosts_.size()] + path;
}

std::string ChildPageServers::hangUrl() const {
    return "http://" + hangHost_ + "/hang";
}

} // namespace vantrel::bench

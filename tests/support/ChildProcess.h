#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vantrel::test {

// A helper program that a test starts and that is ended with the object:
// asked to stop with SIGTERM, killed when it has not ended within a second.
// Its standard output and error go to `logFile` (or are dropped).
class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& argv, const std::string& logFile = "/dev/null");
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    bool running();
    void stop();

    // Runs a program to its end within `timeout` (killed after it);
    // true when it exited with status 0.
    static bool run(const std::vector<std::string>& argv,
                    std::chrono::milliseconds timeout = std::chrono::seconds(30));
    // True once 127.0.0.1:`port` accepts a connection, trying until `timeout`.
    static bool waitForPort(int port, std::chrono::milliseconds timeout);
    // A port on 127.0.0.1 that was free a moment ago.
    static int freePort();

private:
    bool waitExit(std::chrono::milliseconds timeout);

    pid_t pid_ = -1;
};

} // namespace vantrel::test

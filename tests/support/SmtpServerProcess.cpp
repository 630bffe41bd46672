#include "tests/support/SmtpServerProcess.h"

#include "tests/support/TempDir.h"

#include <chrono>
#include <filesystem>

namespace vantrel::test {

std::string SmtpServerProcess::python() {
    // The system's Python first: a Python of a user's own may lack the package.
    for (const char* candidate : {"/usr/bin/python3", "python3"})
        if (ChildProcess::run({candidate, "-c", "import aiosmtpd"}))
            return candidate;
    return {};
}

SmtpServerProcess::SmtpServerProcess(const std::string& dir, const Options& options) : dir_(dir) {
    const std::string interpreter = python();
    if (interpreter.empty())
        return;
    port_ = ChildProcess::freePort();
    std::vector<std::string> argv{interpreter,  VANTREL_TEST_SUPPORT_DIR "/smtp_server.py",
                                  "--port",     std::to_string(port_),
                                  "--maildir",  dir_ + "/mail",
                                  "--security", options.security,
                                  "--auth-log", dir_ + "/auth.log"};
    if (!options.cert.empty())
        argv.insert(argv.end(), {"--cert", options.cert, "--key", options.key});
    if (!options.login.empty())
        argv.insert(argv.end(), {"--login", options.login, "--mechanisms", options.mechanisms});
    if (options.inject)
        argv.push_back("--inject");
    process_ = std::make_unique<ChildProcess>(argv, dir_ + "/server.log");
    ready_ = ChildProcess::waitForPort(port_, std::chrono::seconds(20));
}

std::string SmtpServerProcess::address(const std::string& host) const {
    return host + ":" + std::to_string(port_);
}

std::vector<std::string> SmtpServerProcess::messages() const {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir_ + "/mail/new", ec))
        out.push_back(TempDir::readFile(entry.path()));
    return out;
}

std::string SmtpServerProcess::authLog() const {
    return std::filesystem::exists(dir_ + "/auth.log") ? TempDir::readFile(dir_ + "/auth.log")
                                                       : std::string();
}

std::string SmtpServerProcess::output() const {
    return std::filesystem::exists(dir_ + "/server.log") ? TempDir::readFile(dir_ + "/server.log")
                                                         : std::string();
}

} // namespace vantrel::test

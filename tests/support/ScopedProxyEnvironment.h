#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vantrel::test {

// Clears the proxy variables that libcurl reads, for one test, and puts the
// old values back afterwards, so that neither the machine's settings nor a
// test's own reach another test.
class ScopedProxyEnvironment {
public:
    ScopedProxyEnvironment() {
        for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "no_proxy", "HTTP_PROXY",
                                 "HTTPS_PROXY", "ALL_PROXY", "NO_PROXY"}) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            ::unsetenv(name);
        }
    }
    ~ScopedProxyEnvironment() {
        for (const auto& [name, value] : saved_) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }
    ScopedProxyEnvironment(const ScopedProxyEnvironment&) = delete;
    ScopedProxyEnvironment& operator=(const ScopedProxyEnvironment&) = delete;

    void setHttpProxy(const std::string& url) { ::setenv("http_proxy", url.c_str(), 1); }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

} // namespace vantrel::test

#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace vantrel::test {

// Sets (or, with nullptr, removes) an environment variable for the object's
// life and puts the old value back afterwards.
class ScopedEnvVar {
public:
    ScopedEnvVar(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        set(value);
    }
    ~ScopedEnvVar() { set(old_ ? old_->c_str() : nullptr); }
    ScopedEnvVar(const ScopedEnvVar&) = delete;
    ScopedEnvVar& operator=(const ScopedEnvVar&) = delete;

    void set(const char* value) {
        if (value)
            ::setenv(name_.c_str(), value, 1);
        else
            ::unsetenv(name_.c_str());
    }

private:
    std::string name_;
    std::optional<std::string> old_;
};

} // namespace vantrel::test

#pragma once

// Environment variables for tests, on every platform (Windows has no
// setenv). A change made here is seen by getenv and by children started
// afterwards. ScopedEnv puts the old value (or its absence) back when it goes.

#include <cstdlib>
#include <optional>
#include <string>

namespace testsupport {

// An empty value removes the variable on Windows.
inline void SetEnv(const char* name, const std::string& value) {
#ifdef _WIN32
    ::_putenv_s(name, value.c_str());
#else
    ::setenv(name, value.c_str(), 1);
#endif
}

inline void UnsetEnv(const char* name) {
#ifdef _WIN32
    ::_putenv_s(name, "");
#else
    ::unsetenv(name);
#endif
}

class ScopedEnv {
public:
    // Sets the variable, or removes it when value is nothing.
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) saved_ = old;
        value ? SetEnv(name, *value) : UnsetEnv(name);
    }
    ~ScopedEnv() { saved_ ? SetEnv(name_, *saved_) : UnsetEnv(name_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> saved_;
};

}  // namespace testsupport

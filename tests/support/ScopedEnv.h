// Sets or unsets an environment variable for the life of a test, then restores it.
#pragma once
#include <cstdlib>
#include <optional>
#include <string>

class CScopedEnv {
public:
    // value nullptr unsets the variable.
    CScopedEnv(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            saved_ = old;
        Set(value);
    }
    ~CScopedEnv() { Set(saved_ ? saved_->c_str() : nullptr); }
    CScopedEnv(const CScopedEnv&) = delete;
    CScopedEnv& operator=(const CScopedEnv&) = delete;

    void Set(const char* value)
    {
        if (value)
            setenv(name_.c_str(), value, 1);
        else
            unsetenv(name_.c_str());
    }

private:
    std::string name_;
    std::optional<std::string> saved_;
};

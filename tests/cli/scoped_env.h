#pragma once
// Sets an environment variable for the object's lifetime.

#include <cstdlib>
#include <optional>
#include <string>

namespace rtq::test {

// The C library's call differs by system; this test helper is the only
// place that sets the environment.
inline void SetEnv(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value);
#else
    setenv(name, value, 1);
#endif
}

inline void UnsetEnv(const char* name) {
#ifdef _WIN32
    _putenv_s(name, "");
#else
    unsetenv(name);
#endif
}

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        SetEnv(name, value.c_str());
    }
    ~ScopedEnv() {
        if (m_old)
            SetEnv(m_name, m_old->c_str());
        else
            UnsetEnv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

}  // namespace rtq::test

// What a test changes of its process and must put back or wait for: the environment and time
// zone, the
// threads (/proc/self/task) and the open descriptors (/proc/self/fd).
#pragma once

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>

namespace ksttest {

// Sets an environment variable for a scope and puts the previous value (or none) back; the
// time zone follows TZ at once.
class EnvScope {
public:
    EnvScope(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = getenv(name)) m_old = old, m_had = true;
        setenv(name, value.c_str(), 1);
        tzset();
    }
    ~EnvScope() {
        if (m_had)
            setenv(m_name.c_str(), m_old.c_str(), 1);
        else
            unsetenv(m_name.c_str());
        tzset();
    }
    EnvScope(const EnvScope&) = delete;
    EnvScope& operator=(const EnvScope&) = delete;

private:
    std::string m_name, m_old;
    bool m_had = false;
};

// Sets the process's time zone (TZ) for a scope and puts the previous one back.
struct TimeZoneScope : EnvScope {
    explicit TimeZoneScope(const char* zone) : EnvScope("TZ", zone) {}
};

inline int FolderEntries(const char* folder) {
    int n = 0;
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(folder)) ++n;
    return n;
}

inline int ThreadCount() {
    return FolderEntries("/proc/self/task");
}

inline int DescriptorCount() {
    return FolderEntries("/proc/self/fd");
}

// An ended thread leaves /proc/self/task, and drops its last reference to its handle's
// object, a moment after its handle is signaled: these wait up to five seconds for a count.
inline bool SettlesAt(const char* folder, int expected) {
    for (int i = 0; i < 500; ++i) {
        if (FolderEntries(folder) == expected) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

inline bool ThreadsSettleAt(int expected) {
    return SettlesAt("/proc/self/task", expected);
}

inline bool DescriptorsSettleAt(int expected) {
    return SettlesAt("/proc/self/fd", expected);
}

}  // namespace ksttest

// The process's identity, the computer name, the system family, and the token calls, which
// only keep each thread's record of whether it impersonates.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdlib>

#include <cstring>
#include <fstream>
#include <mutex>
#include <string>

#include "KstWin32Base.h"
#include "KstWin32System.h"
#include "internal/CodePage.h"
#include "internal/Handle.h"
#include "internal/Identity.h"

namespace kst::detail {
namespace {

struct IdentitySettings {
    std::mutex mutex;
    std::string computerName;  // empty: from the host name
    PlatformFamily family = PlatformFamily::NT;
};

IdentitySettings& Settings() {
    static IdentitySettings* settings = new IdentitySettings;
    return *settings;
}

std::string NameFromHostName() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || !*host) return "LOCALHOST";
    std::string name(host, ::strcspn(host, "."));
    ToUpper(name);
    return name.substr(0, MAX_COMPUTERNAME_LENGTH);
}

thread_local bool t_impersonating = false;

class TokenObject : public KernelObject {};

}  // namespace

std::string ComputerName() {
    auto& settings = Settings();
    std::lock_guard lock(settings.mutex);
    return settings.computerName.empty() ? NameFromHostName() : settings.computerName;
}

PlatformFamily CurrentPlatformFamily() {
    auto& settings = Settings();
    std::lock_guard lock(settings.mutex);
    return settings.family;
}

}  // namespace kst::detail

namespace kst {

void SetComputerName(const std::string& name) {
    auto& settings = detail::Settings();
    std::lock_guard lock(settings.mutex);
    // Kept within the platform's 15 characters, which callers size their buffers for.
    settings.computerName = name.substr(0, MAX_COMPUTERNAME_LENGTH);
}

void SetPlatformFamily(PlatformFamily family) {
    auto& settings = detail::Settings();
    std::lock_guard lock(settings.mutex);
    settings.family = family;
}

}  // namespace kst

DWORD GetCurrentProcessId() {
    return static_cast<DWORD>(::getpid());
}

namespace {

bool ReadTracerPid() {
    int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[4096];
    ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (n <= 0) return false;
    buffer[n] = '\0';
    const char* field = std::strstr(buffer, "TracerPid:");
    return field && std::strtol(field + 10, nullptr, 10) != 0;
}

}  // namespace

// A debugger attaches rarely and callers ask often (every trace line): the answer is read
// from the kernel at most every 250 ms.
BOOL IsDebuggerPresent() {
    static std::atomic<int64_t> checkedAt{INT64_MIN};
    static std::atomic<bool> present{false};
    int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count();
    int64_t last = checkedAt.load(std::memory_order_acquire);
    if (last == INT64_MIN || now - last >= 250) {
        present.store(ReadTracerPid(), std::memory_order_relaxed);
        checkedAt.store(now, std::memory_order_release);
    }
    return present.load(std::memory_order_relaxed);
}

BOOL GetComputerNameA(LPSTR buffer, LPDWORD size) {
    if (!size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string name = kst::detail::ComputerName();
    if (!buffer || *size <= name.size()) {
        *size = static_cast<DWORD>(name.size() + 1);
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return FALSE;
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    *size = static_cast<DWORD>(name.size());
    return TRUE;
}

DWORD GetVersion() {
    // NT: 5.1, build 2600. The older family: 4.10 with the high bit set.
    if (kst::detail::CurrentPlatformFamily() == kst::PlatformFamily::Win9x) return 0xC0000A04u;
    return 0x0A280105u;
}

HANDLE GetCurrentProcess() {
    return reinterpret_cast<HANDLE>(LONG_PTR(-1));
}

BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor) {
    return descriptor && static_cast<const SECURITY_DESCRIPTOR*>(descriptor)->Revision ==
                             SECURITY_DESCRIPTOR_REVISION;
}

BOOL OpenThreadToken(HANDLE, DWORD, BOOL, PHANDLE token) {
    if (!token) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!kst::detail::t_impersonating) {
        SetLastError(ERROR_NO_TOKEN);
        return FALSE;
    }
    *token = kst::detail::NewHandle(std::make_shared<kst::detail::TokenObject>());
    return TRUE;
}

BOOL ImpersonateSelf(SECURITY_IMPERSONATION_LEVEL) {
    kst::detail::t_impersonating = true;
    return TRUE;
}

BOOL RevertToSelf() {
    kst::detail::t_impersonating = false;
    return TRUE;
}

BOOL SetThreadToken(PHANDLE, HANDLE token) {
    kst::detail::t_impersonating = token != nullptr;
    return TRUE;
}

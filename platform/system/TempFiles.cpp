// The temporary folder and unique temporary file names.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <string_view>

#include "KstWin32Base.h"
#include "KstWin32Files.h"
#include "internal/CodePage.h"
#include "internal/Errno.h"
#include "internal/Paths.h"

namespace {

constexpr size_t kPrefixLength = 3;
constexpr unsigned kNumbers = 0x10000;

// Answers a string through a caller's buffer: its length, or the size needed (with the
// terminating zero) when the buffer is too small.
DWORD AnswerText(const std::string& text, LPSTR buffer, DWORD size) {
    if (!buffer || size <= text.size()) return static_cast<DWORD>(text.size() + 1);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

// Where the search for a free number starts: differs between processes, so two processes
// asking at once rarely collide (the exclusive create settles the rest).
unsigned StartNumber() {
    static thread_local std::minstd_rand random(std::random_device{}() ^ unsigned(::getpid()));
    return random() % kNumbers;
}

// A folder written with `/` only gets `/`, also after a drive letter; a bare "X:" gets `\`.
std::string FolderWithSeparator(std::string folder) {
    if (!folder.empty() && !kst::detail::IsSeparator(folder.back())) {
        bool backslashed =
            folder.find('\\') != std::string::npos ||
            (kst::detail::HasDriveLetter(folder) && folder.find('/') == std::string::npos);
        folder += backslashed ? '\\' : '/';
    }
    return folder;
}

// The first characters of the prefix, not bytes: a UTF-8 character is never cut.
std::string PrefixOf(std::string_view text) {
    bool utf8 = kst::detail::AnsiCodePage() == 65001;
    size_t end = 0;
    for (size_t count = 0; end < text.size() && count < kPrefixLength; ++count) {
        ++end;
        while (utf8 && end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            ++end;
    }
    return std::string(text.substr(0, end));
}

std::string TempName(const std::string& folder, const std::string& prefix, unsigned number) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%X", number);
    return folder + prefix + hex + ".tmp";
}

}  // namespace

DWORD GetTempPathA(DWORD bufferLength, LPSTR buffer) {
    const char* tmpdir = std::getenv("TMPDIR");
    std::string folder = tmpdir && *tmpdir ? tmpdir : "/tmp";
    if (folder.back() != '/') folder += '/';
    return AnswerText(folder, buffer, bufferLength);
}

UINT GetTempFileNameA(LPCSTR pathName, LPCSTR prefixString, UINT unique, LPSTR tempFileName) {
    if (!pathName || !tempFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string folder = FolderWithSeparator(pathName);
    std::string prefix = prefixString ? PrefixOf(prefixString) : "";
    if (unique != 0) {  // the caller's number: the name only, nothing is created
        std::string name = TempName(folder, prefix, unique & 0xFFFF);
        if (name.size() >= MAX_PATH) {
            SetLastError(ERROR_BUFFER_OVERFLOW);
            return 0;
        }
        std::memcpy(tempFileName, name.c_str(), name.size() + 1);
        return unique & 0xFFFF;
    }
    unsigned start = StartNumber();
    for (unsigned i = 0; i < kNumbers; ++i) {
        unsigned number = (start + i) % kNumbers;
        if (number == 0) continue;
        std::string name = TempName(folder, prefix, number);
        if (name.size() >= MAX_PATH) {
            SetLastError(ERROR_BUFFER_OVERFLOW);
            return 0;
        }
        auto host = kst::detail::HostPath(name);
        if (!host) return 0;
        int fd = ::open(host->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            std::memcpy(tempFileName, name.c_str(), name.size() + 1);
            SetLastError(ERROR_SUCCESS);
            return number;
        }
        int err = errno;
        if (err != EEXIST) {
            kst::detail::SetLastErrorForPath(err, *host);
            if (err == EISDIR) continue;  // a folder of that name: try the next number
            return 0;
        }
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
}

// The process's command line, current folder and tick count.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>

#include "KstWin32Base.h"
#include "KstWin32Files.h"
#include "KstWin32System.h"
#include "internal/Paths.h"

namespace {

// Arguments with blanks or quotes are quoted as the platform's runtime expects to split them.
void AppendArgument(std::string& line, const std::string& arg) {
    if (!line.empty()) line += ' ';
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) {
        line += arg;
        return;
    }
    line += '"';
    for (char ch : arg) {
        if (ch == '"') line += '\\';
        line += ch;
    }
    line += '"';
}

std::string ReadCommandLine() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string line;
    size_t start = 0;
    while (start < raw.size()) {
        size_t end = raw.find('\0', start);
        if (end == std::string::npos) end = raw.size();
        AppendArgument(line, raw.substr(start, end - start));
        start = end + 1;
    }
    return line;
}

}  // namespace

LPSTR GetCommandLineA() {
    // Built once and kept, as the platform keeps it for the process's life.
    static std::string* line = new std::string(ReadCommandLine());
    return line->data();
}

DWORD GetTickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000);
}

DWORD GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer) {
    char path[PATH_MAX];
    if (!getcwd(path, sizeof path)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    DWORD length = static_cast<DWORD>(std::strlen(path));
    if (!buffer || bufferLength <= length) return length + 1;  // the size needed, zero included
    std::memcpy(buffer, path, length + 1);
    return length;
}

BOOL SetCurrentDirectoryA(LPCSTR pathName) {
    auto host = kst::detail::HostPath(pathName ? pathName : "");
    if (!host) return FALSE;
    if (chdir(host->c_str()) != 0) {
        kst::detail::SetLastErrorForPath(errno, *host);
        return FALSE;
    }
    return TRUE;
}

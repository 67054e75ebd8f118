// kst unc and kst mkdir: a path's network name, and folder creation with the question asked
// on the terminal.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "Commands.h"
#include "KstFileService.h"
#include "KstPlatform.h"
#include "KstWin32.h"
#include "internal/MountTable.h"
#include "internal/Shares.h"

namespace kstool {
namespace {

int Unc(const std::vector<std::string>& args) {
    int preferLongest = 1, checkSecurity = 0;
    std::string server, path, smbConf, usershares;
    bool hasServer = false, hasPath = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        bool hasValue = i + 1 < args.size();
        if (arg == "--last") {
            preferLongest = 0;
        } else if (arg == "--check-security") {
            checkSecurity = 1;
        } else if (arg == "--server" && hasValue) {
            server = args[++i];
            hasServer = true;
        } else if (arg == "--mount-table" && hasValue) {
            kst::detail::SetMountTablePath(args[++i]);
        } else if (arg == "--smb-conf" && hasValue) {
            smbConf = args[++i];
        } else if (arg == "--usershares" && hasValue) {
            usershares = args[++i];
        } else if (!hasPath && (arg.empty() || arg[0] != '-')) {
            path = arg;
            hasPath = true;
        } else {
            return UsageError("unknown argument " + arg);
        }
    }
    if (!hasPath) return UsageError("unc [OPTIONS] PATH");
    if (!smbConf.empty() || !usershares.empty())
        kst::detail::SetSambaPaths(smbConf.empty() ? "/etc/samba/smb.conf" : smbConf, usershares);
    CString name = path.c_str();
    if (!CFileService::GetUNC(name, preferLongest, checkSecurity,
                              hasServer ? server.c_str() : nullptr)) {
        std::fprintf(stderr, "kst: no network name for %s\n", name.c_str());
        return 1;
    }
    std::printf("%s\n", name.c_str());
    return 0;
}

// The question of a message box, asked on the terminal; --yes answers OK by itself.
int AskOnTerminal(const std::string& text, const std::string& caption, unsigned type,
                  bool answerYes) {
    std::printf("[%s] %s\n", caption.c_str(), text.c_str());
    if ((type & MB_TYPEMASK) != MB_OKCANCEL) return IDOK;
    std::printf("OK or Cancel? [o/c] ");
    if (answerYes) {
        std::printf("o\n");
        return IDOK;
    }
    std::fflush(stdout);
    std::string answer;
    if (!std::getline(std::cin, answer)) answer.clear();
    if (!isatty(STDIN_FILENO)) std::printf("%s\n", answer.c_str());  // as if typed
    return answer == "o" || answer == "ok" || answer == "OK" || answer == "y" || answer == "yes"
               ? IDOK
               : IDCANCEL;
}

int MakeDir(const std::vector<std::string>& args) {
    bool answerYes = false;
    std::string path;
    for (const auto& arg : args) {
        if (arg == "--yes")
            answerYes = true;
        else if (path.empty())
            path = arg;
        else
            return UsageError("unknown argument " + arg);
    }
    if (path.empty()) return UsageError("mkdir [--yes] PATH");
    kst::SetMessageBoxHandler(
        [answerYes](const std::string& text, const std::string& caption, unsigned type) {
            return AskOnTerminal(text, caption, type, answerYes);
        });
    int made = CFileService::CreatePathMsgBox(path.c_str());
    kst::SetMessageBoxHandler(nullptr);
    if (made) std::printf("%s\n", path.c_str());
    return made ? 0 : 1;
}

CommandRegistration uncCommand(
    {"unc",
     "[--last] [--check-security] [--server NAME] [--mount-table FILE] [--smb-conf FILE] "
     "[--usershares DIR] PATH",
     "print the network name (\\\\computer\\share\\...) of PATH", Unc});
CommandRegistration mkdirCommand({"mkdir", "[--yes] PATH",
                                  "create a folder tree, asking first as the library does",
                                  MakeDir});

}  // namespace
}  // namespace kstool

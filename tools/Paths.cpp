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

namespace kstool {
namespace {

struct {
    bool last = false, checkSecurity = false, yes = false;
    std::string server, path, mountTable, smbConf, usershares;
} paths;

int Unc() {
    if (!paths.mountTable.empty()) kst::SetMountTable(paths.mountTable);
    if (!paths.smbConf.empty() || !paths.usershares.empty())
        kst::SetShareConfiguration(paths.smbConf, paths.usershares);
    CString name = paths.path.c_str();
    if (!CFileService::GetUNC(name, paths.last ? 0 : 1, paths.checkSecurity ? 1 : 0,
                              paths.server.empty() ? nullptr : paths.server.c_str()))
        return Failure("no network name for " + name.str());
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

int MakeDir() {
    bool answerYes = paths.yes;
    kst::SetMessageBoxHandler(
        [answerYes](const std::string& text, const std::string& caption, unsigned type) {
            return AskOnTerminal(text, caption, type, answerYes);
        });
    int made = CFileService::CreatePathMsgBox(paths.path.c_str());
    kst::SetMessageBoxHandler(nullptr);
    if (!made) return Failure(paths.path + " was not created (the answer, or the message above)");
    std::printf("%s\n", paths.path.c_str());
    return 0;
}

Registration pathCommands({"unc", "mkdir"}, [](CLI::App& kst) {
    CLI::App* unc =
        AddCommand(kst, "unc", "print the network name (\\\\computer\\share\\...) of PATH", Unc);
    unc->add_option("PATH", paths.path, "a local path")->required();
    unc->add_flag("--last", paths.last, "prefer the shortest shared folder, not the longest");
    unc->add_flag("--check-security", paths.checkSecurity, "only shares the user may read");
    unc->add_option("--server", paths.server, "the computer name to use");
    unc->add_option("--mount-table", paths.mountTable, "read mounts from FILE, not /proc");
    unc->add_option("--smb-conf", paths.smbConf, "the Samba configuration to read shares from");
    unc->add_option("--usershares", paths.usershares, "the folder of Samba user shares");

    CLI::App* mkdir =
        AddCommand(kst, "mkdir", "create a folder tree, asking first as the library does", MakeDir);
    mkdir->add_option("PATH", paths.path, "the folder to create")->required();
    mkdir->add_flag("--yes", paths.yes, "answer the question with OK");
});

}  // namespace
}  // namespace kstool

// kst error: prints the error box a host would show for an error code.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Commands.h"
#include "KstErrorInfo.h"
#include "KstLocalization.h"
#include "KstPlatform.h"

namespace kstool {
namespace {

// Decimal, or hexadecimal with 0x; the whole text must be a 32-bit number. A leading zero
// does not make it octal: codes are quoted in decimal or hexadecimal only.
bool ParseCode(const std::string& text, DWORD& code) {
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    std::string digits = hex ? text.substr(2) : text;
    const char* allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
    if (digits.empty() || digits.find_first_not_of(allowed) != std::string::npos) return false;
    errno = 0;
    unsigned long long value = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
    if (errno != 0 || value > 0xFFFFFFFFull) return false;
    code = static_cast<DWORD>(value);
    return true;
}

// The language of the user's messages: LC_ALL, LC_MESSAGES, LANG, as the C library takes them.
std::string MessageLanguage() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return std::string(value).substr(0, 2);
    }
    return "";
}

// The installed texts of the locale's language (English when there are none), found from
// the program's own place: <prefix>/bin/kst and <prefix>/share/kst/messages.<lang>.ini.
std::string InstalledMessages() {
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return "";
    std::string folder(self, static_cast<size_t>(length));
    folder = folder.substr(0, folder.rfind('/'));
    folder = folder.substr(0, folder.rfind('/')) + "/share/kst/messages.";
    std::string localized = folder + MessageLanguage() + ".ini";
    return access(localized.c_str(), R_OK) == 0 ? localized : folder + "en.ini";
}

struct {
    std::string code;
    std::string messages;
    std::string operation;
    std::string description;
    bool server = false;
} request;

int ErrorBox() {
    DWORD code = 0;
    if (!ParseCode(request.code, code))
        return UsageError("CODE must be a 32-bit number, decimal or 0x hexadecimal: " +
                          request.code);
    std::string messages = request.messages.empty() ? InstalledMessages() : request.messages;
    if (!theMessage.Load(messages.c_str()) && !request.messages.empty())
        return Failure("no message texts in " + request.messages + ": " +
                       (WhyNotReadable(request.messages).empty()
                            ? "no [section] followed by key=value lines"
                            : WhyNotReadable(request.messages)));
    CErrorInfo error;
    error.Set(code, request.description.c_str(), request.operation.c_str());
    error.m_eErrorType = request.server ? 1 : 0;
    // The box's text goes to stdout as the library holds it (the ANSI code page).
    kst::MessageBoxHandler previous =
        kst::SetMessageBoxHandler([](const std::string& text, const std::string&, unsigned) {
            std::fwrite(text.data(), 1, text.size(), stdout);
            return IDOK;
        });
    UINT answer = error.MessageBoxA(MB_OK);
    kst::SetMessageBoxHandler(previous);
    if (answer == 0) std::fprintf(stderr, "kst: code 0 is no error: no box\n");
    if (answer != 0 && error.m_strBoxText.IsEmpty())
        std::fprintf(stderr, "kst: the box is empty (no message texts loaded: see --messages)\n");
    return 0;
}

Registration errorCommands({"error"}, [](CLI::App& kst) {
    CLI::App* cmd =
        AddCommand(kst, "error", "print the error box a host would show for CODE", ErrorBox);
    cmd->add_option("CODE", request.code, "the error code, decimal or 0x hexadecimal")->required();
    cmd->add_option(
        "--messages", request.messages,
        "the message texts (an ini file; default: share/kst/messages.LANG.ini of the locale)");
    cmd->add_option("--operation", request.operation, "the operation that failed");
    cmd->add_option("--description", request.description,
                    "the error's parameters, as %Name%=value;...");
    cmd->add_flag("--server", request.server, "the error happened on the server");
});

}  // namespace
}  // namespace kstool

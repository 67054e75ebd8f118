// The error box a host shows for one of its own error codes, from its message texts.
#include <KstSystem.h>

#include <cstdio>

int main() {
    std::FILE* texts = std::fopen("messages.ini", "w");
    std::fputs(
        "[Operation]\nCopy=Copying a file\n[Message]\n"
        "InsideOperation=The error happened during \"%Operation%\".\n"
        "ErrorInfo=%Error%\\n(error code %ErrorCode%)\n"
        "[Error]\nK5=Cannot open the file %File%.\n",
        texts);
    std::fclose(texts);
    if (!theMessage.Load("messages.ini")) return 1;
    // The box goes to this handler instead of a window.
    kst::SetMessageBoxHandler([](const std::string& text, const std::string&, unsigned) {
        std::printf("%s", text.c_str());
        return IDOK;
    });
    CErrorInfo error;
    error.Set(0x20000005, "%File%=report.txt;", "Copy");
    return error.MessageBoxA(MB_OK) == IDOK ? 0 : 1;
}

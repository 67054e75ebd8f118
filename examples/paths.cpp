// Paths: a folder tree created after the question the library asks.
#include <KstSystem.h>

#include <cstdio>

int main() {
    kst::SetMessageBoxHandler([](const std::string& text, const std::string&, unsigned) {
        std::printf("asked: %s\n", text.c_str());
        return IDOK;
    });
    int made = CFileService::CreatePathMsgBox("made/by/example");
    std::printf("created: %s\n", made ? "yes" : "no");
    return made ? 0 : 1;
}

// kst zip-info, kst span, kst join: the ZIP directory reader and the volume set commands.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "Commands.h"
#include "KstPlatform.h"
#include "KstWin32Ui.h"
#include "KstZipInfo.h"
#include "KstZipSpan.h"

namespace kstool {
namespace {

int ZipInfo(const std::vector<std::string>& args) {
    if (args.size() != 1) return UsageError("zip-info ARCHIVE");
    CZipInfo info;
    info.GetInfo(args[0].c_str());
    if (info.GetError() == CZipInfo::ErrorWhileOpening) {
        std::fprintf(stderr, "kst: cannot open %s\n", args[0].c_str());
        return 1;
    }
    std::printf("archive: %s\nlength: %u\n", info.GetFileName().c_str(), info.GetLength());
    std::printf("first volume of a set: %s\nlast volume: %s\n",
                info.IsFirstDiskOfMultivolume() ? "yes" : "no", info.IsLastDisk() ? "yes" : "no");
    if (info.GetError() == CZipInfo::NotTheLastDisk) {
        std::printf("no end of central directory record: not the last volume\n");
        return 0;
    }
    std::printf("volumes: %d\nentries: %d\ndirectory at: %u\ncomment: %s\n",
                info.GetVolumesNumber(), info.GetFilesCount(), info.GetCentralDirPosition(),
                info.GetComment().c_str());
    std::printf("%-10s %-10s %-6s %-8s %-10s %-8s %s\n", "packed", "size", "method", "crc", "date",
                "time", "name");
    for (int i = 0; i < info.GetFilesCount(); ++i) {
        std::printf("%10u %10u %6u %08x %10s %8s %s%s\n", info.GetCompressedSize(i),
                    info.GetUncompressedSize(i), info.GetMethod(i), info.GetCRC(i),
                    info.GetDate(i).c_str(), info.GetTime(i).c_str(), info.GetName(i).c_str(),
                    info.IsEncrypted(i) ? " (encrypted)" : "");
    }
    return 0;
}

// Progress on a terminal; questions asked on the terminal.
class TerminalSpan : public CZipSpan {
public:
    TerminalSpan(const CString& archive, bool removable)
        : CZipSpan(archive), m_bRemovable(removable), m_bTerminal(isatty(2)) {}

    bool IsRemovable() override { return m_bRemovable; }

    void ShowProgress(double progress, int phase) override {
        if (!m_bTerminal) return;
        double percent = phase == 0 && progress <= 1.0 ? progress * 100.0 : progress;
        int shown = static_cast<int>(percent);
        if (shown == m_nLastShown) return;
        m_nLastShown = shown;
        int filled = shown / 5;
        std::fprintf(stderr, "\r[%-20s] %3d%%", std::string(filled, '#').c_str(), shown);
        if (shown >= 100) std::fprintf(stderr, "\n");
        std::fflush(stderr);
    }

private:
    bool m_bRemovable;
    bool m_bTerminal;
    int m_nLastShown = -1;
};

int AskOnTerminal(const std::string& text, const std::string& caption, unsigned type) {
    std::fprintf(stderr, "\n%s: %s\n", caption.c_str(), text.c_str());
    const char* choices = "";
    switch (type & 0xF) {
        case MB_OKCANCEL:
            choices = "[o]k/[c]ancel";
            break;
        case MB_ABORTRETRYIGNORE:
            choices = "[a]bort/[r]etry/[i]gnore";
            break;
        case MB_YESNOCANCEL:
            choices = "[y]es/[n]o/[c]ancel";
            break;
        case MB_YESNO:
            choices = "[y]es/[n]o";
            break;
        case MB_RETRYCANCEL:
            choices = "[r]etry/[c]ancel";
            break;
        default:
            return IDOK;
    }
    for (;;) {
        std::fprintf(stderr, "%s? ", choices);
        std::string line;
        if (!std::getline(std::cin, line))
            return (type & 0xF) == MB_ABORTRETRYIGNORE ? IDABORT
                   : (type & 0xF) == MB_YESNO          ? IDNO
                                                       : IDCANCEL;
        char c = line.empty() ? 0 : static_cast<char>(std::tolower(line[0]));
        switch (c) {
            case 'o':
                return IDOK;
            case 'c':
                return IDCANCEL;
            case 'a':
                return IDABORT;
            case 'r':
                return IDRETRY;
            case 'i':
                return IDIGNORE;
            case 'y':
                return IDYES;
            case 'n':
                return IDNO;
            default:
                break;
        }
    }
}

int Span(const std::vector<std::string>& args) {
    std::vector<std::string> plain;
    std::string image;
    unsigned long long size = 0;
    bool removable = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--size" && i + 1 < args.size()) {
            size = std::strtoull(args[++i].c_str(), nullptr, 10);
        } else if (args[i] == "--image" && i + 1 < args.size()) {
            image = args[++i];
        } else if (args[i] == "--removable") {
            removable = true;
        } else {
            plain.push_back(args[i]);
        }
    }
    if (plain.size() != 2 || size == 0 || size > 0xFFFFFFFFull)
        return UsageError("span ARCHIVE FOLDER --size BYTES [--image FOLDER] [--removable]");
    kst::SetMessageBoxHandler(AskOnTerminal);
    TerminalSpan span(plain[0].c_str(), removable);
    span.m_strImageFolder = image.c_str();
    int result = span.DoSpan(static_cast<DWORD>(size), plain[1].c_str(), true);
    if (result > 0) {
        std::printf("%d\n", result);
        return 0;
    }
    std::fprintf(stderr, "kst: span failed (%d)\n", result);
    return 1;
}

int Join(const std::vector<std::string>& args) {
    if (args.size() != 3) return UsageError("join FOLDER COUNT ARCHIVE");
    int count = std::atoi(args[1].c_str());
    TerminalSpan span(args[2].c_str(), false);
    if (!span.UnSpan(args[0].c_str(), count)) {
        std::fprintf(stderr, "kst: join failed\n");
        return 1;
    }
    return 0;
}

CommandRegistration zipInfoCommand({"zip-info", "ARCHIVE",
                                    "list the central directory of a ZIP archive or volume",
                                    ZipInfo});
CommandRegistration spanCommand(
    {"span", "ARCHIVE FOLDER --size BYTES [--image FOLDER] [--removable]",
     "write an archive as volumes FOLDER/Disk{n}/NAME; prints the count", Span});
CommandRegistration joinCommand({"join", "FOLDER COUNT ARCHIVE",
                                 "join the volumes FOLDER/Disk1..COUNT into one archive", Join});

}  // namespace
}  // namespace kstool

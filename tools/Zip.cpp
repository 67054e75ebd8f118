// kst zip-info, zip-span, zip-join: the ZIP directory reader and the volume set commands.
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

struct {
    std::string archive, folder, image;
    unsigned long long size = 0;
    bool removable = false;
    int count = 0;
} zip;

int ZipInfo() {
    std::string why = WhyNotReadable(zip.archive);
    if (!why.empty()) return Failure("cannot open " + zip.archive + ": " + why);
    CZipInfo info;
    info.GetInfo(zip.archive.c_str());
    if (info.GetError() == CZipInfo::ErrorWhileOpening)
        return Failure("cannot open " + zip.archive);
    std::printf("archive: %s\nlength: %llu\n", info.GetFileName().c_str(),
                static_cast<unsigned long long>(info.GetLength64()));
    std::printf("first volume of a set: %s\nlast volume: %s\n",
                info.IsFirstDiskOfMultivolume() ? "yes" : "no", info.IsLastDisk() ? "yes" : "no");
    if (info.GetError() == CZipInfo::NotTheLastDisk) {
        std::fflush(stdout);
        return Failure(zip.archive +
                       " has no end of central directory record: not a ZIP archive, or not the "
                       "last volume of a set");
    }
    std::printf("volumes: %d\nentries: %d\ndirectory at: %llu\ncomment: %s\n",
                info.GetVolumesNumber(), info.GetFilesCount(),
                static_cast<unsigned long long>(info.GetCentralDirPosition64()),
                info.GetComment().c_str());
    std::printf("%-10s %-10s %-6s %-8s %-10s %-8s %s\n", "packed", "size", "method", "crc", "date",
                "time", "name");
    for (int i = 0; i < info.GetFilesCount(); ++i) {
        std::printf("%10llu %10llu %6u %08x %10s %8s %s%s\n",
                    static_cast<unsigned long long>(info.GetCompressedSize64(i)),
                    static_cast<unsigned long long>(info.GetUncompressedSize64(i)),
                    info.GetMethod(i), info.GetCRC(i), info.GetDate(i).c_str(),
                    info.GetTime(i).c_str(), info.GetName(i).c_str(),
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

// The result, the library's reason and the volume it concerns.
int FailureOf(const char* command, int result, const CZipSpan& span) {
    std::string message = std::string(command) + " failed (" + std::to_string(result) + ")";
    if (!span.GetFailureReason().IsEmpty()) message += ": " + span.GetFailureReason().str();
    if (span.GetFailureVolume() > 0)
        message += " [volume " + std::to_string(span.GetFailureVolume()) + "]";
    return Failure(message);
}

int Span() {
    if (zip.size == 0 || zip.size > 0xFFFFFFFFull)
        return UsageError("--size must be 1 to 4294967295 bytes");
    std::string why = WhyNotReadable(zip.archive);
    if (!why.empty()) return Failure("cannot open " + zip.archive + ": " + why);
    kst::SetMessageBoxHandler(AskOnTerminal);
    TerminalSpan span(zip.archive.c_str(), zip.removable);
    span.m_strImageFolder = zip.image.c_str();
    int result = span.DoSpan(static_cast<DWORD>(zip.size), zip.folder.c_str(), true);
    if (result > 0) {
        std::printf("%d\n", result);
        return 0;
    }
    return FailureOf("span", result, span);
}

int Join() {
    if (zip.count < 1) return UsageError("COUNT must be 1 or more");
    TerminalSpan span(zip.archive.c_str(), false);
    int result = span.UnSpan(zip.folder.c_str(), zip.count);
    if (!result) return FailureOf("join", result, span);
    return 0;
}

Registration zipCommands({"zip-info", "zip-span", "zip-join"}, [](CLI::App& kst) {
    CLI::App* info = AddCommand(kst, "zip-info",
                                "list the central directory of a ZIP archive or volume", ZipInfo);
    info->add_option("ARCHIVE", zip.archive, "the archive or one volume of a set")->required();

    CLI::App* span = AddCommand(
        kst, "zip-span", "write an archive as volumes FOLDER/Disk{n}/NAME; prints the count", Span);
    span->alias("span");
    span->add_option("ARCHIVE", zip.archive, "the archive to span")->required();
    span->add_option("FOLDER", zip.folder, "where the volume folders Disk1, Disk2... go")
        ->required();
    span->add_option("--size", zip.size, "the size of a volume in bytes")->required();
    span->add_option("--image", zip.image, "keep an image of each volume in this folder");
    span->add_flag("--removable", zip.removable, "treat FOLDER as a removable disk");

    CLI::App* join =
        AddCommand(kst, "zip-join", "join the volumes FOLDER/Disk1..COUNT into one archive", Join);
    join->alias("join");
    join->add_option("FOLDER", zip.folder, "the folder holding Disk1, Disk2...")->required();
    join->add_option("COUNT", zip.count, "the number of volumes")->required();
    join->add_option("ARCHIVE", zip.archive, "the archive to write")->required();
});

}  // namespace
}  // namespace kstool

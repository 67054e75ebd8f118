// kst floppy-copy, floppy-verify: salvage a file from a FAT12 diskette image or drive.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "Commands.h"
#include "KstFloppyAccessLow.h"
#include "KstPlatform.h"
#include "KstWin32.h"

namespace kstool {
namespace {

struct {
    std::string image, device, source, destination, bad, family = "nt";
    unsigned retries = 2;
    unsigned maxBad = 0xFFFF;
} floppy;

// Sectors read so far, from the 0x461 messages: a line in place on a terminal, a plain line
// every 128 KB otherwise.
class Progress {
public:
    Progress()
        : m_terminal(isatty(2) != 0), m_window([this](UINT message, WPARAM wParam, LPARAM) {
              if (message == WM_FLOPPY_PROGRESS) Show(static_cast<unsigned>(wParam));
          }) {}
    ~Progress() {
        kst::FlushPostedMessages();
        if (m_terminal && m_last) std::fprintf(stderr, "\n");
    }
    CWnd* window() { return &m_window; }

private:
    void Show(unsigned sectors) {
        m_last = sectors;
        if (m_terminal) {
            unsigned kb = sectors / 2;
            std::string bar(std::min(kb / 48, 30u), '#');  // 30 marks for a 1.44 MB diskette
            std::fprintf(stderr, "\r[%-30s] %u sectors, %u KB", bar.c_str(), sectors, kb);
        } else if (sectors % 256 == 0) {
            std::fprintf(stderr, "read %u sectors\n", sectors);
        }
        std::fflush(stderr);
    }

    bool m_terminal;
    unsigned m_last = 0;
    CWnd m_window;
};

// "2,17,40:2": sectors that never read, and with ":N" sectors that fail their first N reads.
bool MarkBadSectors(char letter, const std::string& list) {
    std::vector<unsigned> bad;
    std::vector<std::pair<unsigned, unsigned>> failing;
    std::stringstream items(list);
    std::string item;
    while (std::getline(items, item, ',')) {
        unsigned sector = 0, reads = 0;
        int used = 0;
        if (std::sscanf(item.c_str(), "%u:%u%n", &sector, &reads, &used) == 2 &&
            used == int(item.size()) && reads > 0)
            failing.emplace_back(sector, reads);
        else if (std::sscanf(item.c_str(), "%u%n", &sector, &used) == 1 && used == int(item.size()))
            bad.push_back(sector);
        else
            return false;
    }
    kst::SetBadSectors(letter, bad);
    for (auto [sector, reads] : failing) kst::SetFailingReads(letter, sector, reads);
    return true;
}

int Run(bool copy) {
    if (!floppy.image.empty() && !floppy.device.empty())
        return UsageError("--image and --device exclude each other");
    if (floppy.family != "nt" && floppy.family != "9x") return UsageError("--family is nt or 9x");
    if (floppy.retries > 255) return UsageError("--retries must be 0 to 255");
    if (floppy.maxBad > 0xFFFF) return UsageError("--max-bad must be 0 to 65535");
    std::string raw = floppy.image.empty() ? floppy.device : floppy.image;
    char letter = floppy.source.size() >= 2 && floppy.source[1] == ':' ? floppy.source[0] : 0;
    if (!raw.empty()) {
        if (letter != 'A' && letter != 'a' && letter != 'B' && letter != 'b')
            return UsageError("SOURCE must be on A: or B:, such as A:\\DOCS\\NOTE.TXT");
        if (::access(raw.c_str(), R_OK) != 0)
            return Failure("cannot open " + raw + ": " + std::strerror(errno));
        kst::MapDrive(letter, "", kst::DriveType::Removable, raw);
        if (!floppy.bad.empty() && !MarkBadSectors(letter, floppy.bad))
            return UsageError("--bad takes sector numbers such as 2,17,40:2");
    }
    kst::SetPlatformFamily(floppy.family == "9x" ? kst::PlatformFamily::Win9x
                                                 : kst::PlatformFamily::NT);
    CWordArray list;
    int result;
    {
        Progress progress;
        result = CFloppyAccessLow::CopyFileA(
            floppy.source.c_str(), copy ? floppy.destination.c_str() : nullptr, 0, &list,
            static_cast<BYTE>(floppy.retries), static_cast<WORD>(floppy.maxBad), progress.window(),
            0);
    }
    if (!result) {
        DWORD error = GetLastError();
        return Failure(floppy.source +
                       (error == ERROR_FILE_NOT_FOUND ? ": not found" : ": cannot be read") +
                       (raw.empty() ? "" : " on " + raw));
    }
    const std::string& target = copy ? floppy.destination : floppy.source;
    std::printf("%s %s%s\n", copy ? "copied" : "read", floppy.source.c_str(),
                copy ? (" to " + target).c_str() : "");
    INT_PTR count = list.GetSize();
    if (count == 0) {
        std::printf("no bad sectors\n");
        return 0;
    }
    bool stopped = count > INT_PTR(floppy.maxBad);
    std::printf("bad sectors: %d (sector ordinals of the file, from 0)\n", int(count));
    std::error_code error;
    auto size = copy ? std::filesystem::file_size(target, error) : 0;
    for (INT_PTR i = 0; i < count; ++i) {
        unsigned first = list[i] * 512u;
        unsigned last = first + 511;
        if (copy && !error && size > first) last = std::min<unsigned>(last, size - 1);
        if (stopped && i == count - 1)
            std::printf("  %u: not read; more than %u bad sectors: the copy ends at byte %u\n",
                        list[i], floppy.maxBad, first);
        else
            std::printf("  %u: bytes %u to %u %s not the diskette's (zeros)\n", list[i], first,
                        last, copy ? ("of " + target + " are").c_str() : "are");
    }
    return 0;
}

Registration floppyCommands({"floppy-copy", "floppy-verify"}, [](CLI::App& kst) {
    auto common = [](CLI::App* cmd) {
        cmd->add_option("SOURCE", floppy.source, "the file on the diskette, as A:\\DOCS\\NOTE.TXT")
            ->required();
        cmd->add_option("--image", floppy.image, "the diskette image file (mapped as the drive)");
        cmd->add_option("--device", floppy.device,
                        "the diskette drive's block device, such as /dev/sdb (read only)");
        cmd->add_option("--retries", floppy.retries, "attempts after the first for each sector")
            ->capture_default_str();
        cmd->add_option("--max-bad", floppy.maxBad, "stop after more bad sectors than this")
            ->capture_default_str();
        cmd->add_option("--bad", floppy.bad,
                        "mark sectors of the diskette bad, as 2,17 (40:2: bad for two reads)");
        cmd->add_option("--family", floppy.family,
                        "nt: read the volume device; 9x: one INT 13h request per sector")
            ->capture_default_str();
    };
    CLI::App* copy = AddCommand(kst, "floppy-copy",
                                "copy a file from a FAT12 diskette sector by sector, listing the "
                                "sectors that do not read",
                                [] { return Run(true); });
    common(copy);
    copy->add_option("DEST", floppy.destination, "where the copy goes")->required();
    CLI::App* verify = AddCommand(kst, "floppy-verify",
                                  "read a file of a FAT12 diskette sector by sector, listing the "
                                  "sectors that do not read",
                                  [] { return Run(false); });
    common(verify);
});

}  // namespace
}  // namespace kstool

// kst lock, unlock, who and file-info: lock markers beside a file, and a file's record.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "Commands.h"
#include "KstFile.h"
#include "KstFileInfo.h"
#include "KstFileLockMarker.h"
#include "KstFileService.h"
#include "KstProperties.h"

namespace kstool {
namespace {

struct {
    std::string file, user, mode = "Write", server, client, delimiter = "|";
    long long time = 0;
    bool hasTime = false;
} records;

// Another program may hold the marker for a moment: try again for a while.
constexpr auto kPatience = std::chrono::seconds(2);

template <class Try>
bool Patiently(Try attempt) {
    auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!attempt()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Opens the protected steps: the marker's path and reading its blocks.
class Marker : public CFileLockMarker {
public:
    Marker() {
        SetFilePath(records.file.c_str());
        SetAt(KeyMode, records.mode.c_str());
        SetAt(KeyUser, records.user.c_str());
        SetAt(KeyServer, records.server.c_str());
        SetAt(KeyClient, records.client.c_str());
        if (records.hasTime) SetAt(KeyTime, new CTimeP(CTime(records.time)));
    }
    CString Path() { return GenerateMarkerPath(); }
    using CFileLockMarker::ReadInfoBlock;
};

std::string Text(CPropertySet& block, const CString& key) {
    CStringP* value = nullptr;
    return block.Lookup(key, value) && value ? value->str() : std::string();
}

int Lock() {
    Marker marker;
    CFileLockMarker::Result_t result = CFileLockMarker::rOK;
    if (!Patiently([&] { return (result = marker.Lock()) != CFileLockMarker::rMarkerFailed; }) ||
        result != CFileLockMarker::rOK)
        return Failure("cannot open the marker " + marker.Path().str());
    CTimeP* time = nullptr;
    marker.Lookup(CFileLockMarker::KeyTime, time);
    std::printf("%s\ntime %lld\n", marker.Path().c_str(),
                static_cast<long long>(time ? time->GetTime() : 0));
    return 0;
}

int UnLock() {
    Marker marker;
    if (!CFileService::IsFileExist(marker.Path()))
        return Failure("no marker " + marker.Path().str());
    CFileLockMarker::Result_t result = CFileLockMarker::rOK;
    Patiently([&] { return (result = marker.UnLock()) != CFileLockMarker::rMarkerFailed; });
    if (result == CFileLockMarker::rMarkerFailed)
        return Failure("cannot open the marker " + marker.Path().str());
    if (result == CFileLockMarker::rTempFailed)
        return Failure("cannot write the other blocks back to " + marker.Path().str());
    return 0;
}

int Who() {
    Marker marker;
    CString path = marker.Path();
    if (!CFileService::IsFileExist(path)) return Failure("no marker " + path.str());
    CStdioFile file;
    CFileException error;
    bool opened = Patiently([&] {
        return file.Open(path, CFile::modeRead | CFile::shareDenyWrite, &error) ||
               error.m_cause != CFileException::sharingViolation;
    });
    if (!opened || file.m_hFile == CFile::hFileNull)
        return Failure("cannot read the marker " + path.str());
    std::vector<std::vector<std::string>> rows = {{"MODE", "USER", "SERVER", "CLIENT", "TIME"}};
    try {
        CPropertySet block;
        while (marker.ReadInfoBlock(file, block)) {
            CTimeP* time = nullptr;
            std::string when = block.Lookup(CFileLockMarker::KeyTime, time) && time
                                   ? time->Format("%Y-%m-%d %H:%M:%S").str()
                                   : std::string();
            rows.push_back({Text(block, CFileLockMarker::KeyMode),
                            Text(block, CFileLockMarker::KeyUser),
                            Text(block, CFileLockMarker::KeyServer),
                            Text(block, CFileLockMarker::KeyClient), when});
        }
    } catch (CException* e) {
        return ReportException(e, "cannot read the marker " + path.str());
    }
    size_t widths[5] = {};
    for (const auto& row : rows)
        for (size_t i = 0; i < 5; ++i) widths[i] = std::max(widths[i], row[i].size());
    for (const auto& row : rows) {
        std::string line;
        for (size_t i = 0; i < 5; ++i)
            line += i + 1 < 5 ? row[i] + std::string(widths[i] - row[i].size() + 2, ' ') : row[i];
        std::printf("%s\n", line.c_str());
    }
    return 0;
}

int FileInfo() {
    CFileInfo info{CString(records.file.c_str())};
    if (!info.GetFileInfo(records.file.c_str()))
        return Failure("cannot read the status of " + records.file);
    std::printf("name    %s\nsize    %ld\ntime    %s\npacked  %s\n", records.file.c_str(),
                static_cast<long>(info.m_nSize),
                info.m_timeModify.Format("%Y-%m-%d %H:%M:%S").c_str(),
                info.PackToString(records.delimiter.c_str()).c_str());
    return 0;
}

void AddBlockOptions(CLI::App* cmd) {
    cmd->add_option("FILE", records.file, "the file that is used")->required();
    cmd->add_option("--user", records.user, "who uses it")->required();
    cmd->add_option("--mode", records.mode, "how (Write, Exclusive, ...)")->capture_default_str();
    cmd->add_option("--server", records.server, "the server of the user's program");
    cmd->add_option("--client", records.client, "the user's computer");
}

Registration recordCommands({"lock", "unlock", "who", "file-info"}, [](CLI::App& kst) {
    CLI::App* lock = AddCommand(
        kst, "lock", "add a block to FILE's lock marker; print the marker and the block's time",
        Lock);
    AddBlockOptions(lock);
    lock->add_option("--time", records.time, "the block's time (seconds since 1970; default now)")
        ->each([](const std::string&) { records.hasTime = true; });

    CLI::App* unlock = AddCommand(
        kst, "unlock", "remove the blocks equal to the one given from FILE's lock marker", UnLock);
    AddBlockOptions(unlock);
    unlock->add_option("--time", records.time, "the time that lock printed")
        ->required()
        ->each([](const std::string&) { records.hasTime = true; });

    CLI::App* who = AddCommand(kst, "who", "list the blocks of FILE's lock marker", Who);
    who->add_option("FILE", records.file, "the file that is used")->required();

    CLI::App* fileInfo = AddCommand(kst, "file-info",
                                    "print FILE's record: name, size, time, packed form", FileInfo);
    fileInfo->add_option("FILE", records.file, "the file")->required();
    fileInfo->add_option("--delimiter", records.delimiter, "of the packed form")
        ->capture_default_str();
});

}  // namespace
}  // namespace kstool

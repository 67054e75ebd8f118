// Eight processes lock and unlock one file 200 times each while a ninth reads the marker
// throughout: no block is ever doubled or lost, and nothing is left behind.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "KstFile.h"
#include "KstFileLockMarker.h"
#include "KstProperties.h"
#include "KstTest.h"

namespace fs = std::filesystem;
using M = CFileLockMarker;

namespace {

constexpr int kWorkers = 8;
constexpr int kCycles = 200;
constexpr auto kDeadline = std::chrono::seconds(60);

// What the processes share: each worker's progress through cycle c (3c while its Lock runs,
// 3c + 1 once it answered, 3c + 2 while its UnLock runs, 3c + 3 once that answered) and the
// watcher's stop flag.
struct Board {
    std::atomic<unsigned> progress[kWorkers];
    std::atomic<unsigned> stop;
};

Board* MapBoard(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0600);
    if (fd < 0 || ::ftruncate(fd, sizeof(Board)) != 0) std::abort();
    void* memory = ::mmap(nullptr, sizeof(Board), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (memory == MAP_FAILED) std::abort();
    return static_cast<Board*>(memory);
}

class Reader : public CFileLockMarker {
public:
    using CFileLockMarker::ReadInfoBlock;
};

CString Text(CPropertySet& set, const char* key) {
    CStringP* value = nullptr;
    return set.Lookup(key, value) && value ? CString(*value) : CString("?");
}

void Pause(std::mt19937& random, unsigned most = 200) {
    std::this_thread::sleep_for(std::chrono::microseconds(random() % most));
}

// argv: marked file, board, worker index.
KST_CHILD_ROLE(locker) {
    Board* board = MapBoard(argv[2]);
    int index = std::atoi(argv[3]);
    std::mt19937 random(index);
    auto deadline = std::chrono::steady_clock::now() + kDeadline;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        CFileLockMarker m;
        m.SetFilePath(argv[1]);
        m.SetAt(M::KeyMode, M::ModeWrite);
        m.SetAt(M::KeyUser, ("w" + std::to_string(index)).c_str());
        m.SetAt(M::KeyServer, "srv");
        m.SetAt(M::KeyClient, ("c" + std::to_string(cycle)).c_str());
        for (M::Result_t r; (r = m.Lock()) != M::rOK; Pause(random))
            if (r != M::rMarkerFailed || std::chrono::steady_clock::now() > deadline) return 2;
        board->progress[index].store(3 * cycle + 1);
        Pause(random);  // holding the file a while, so the watcher sees held blocks
        board->progress[index].store(3 * cycle + 2);
        for (M::Result_t r; (r = m.UnLock()) != M::rOK; Pause(random))
            if (r != M::rMarkerFailed || std::chrono::steady_clock::now() > deadline) return 3;
        board->progress[index].store(3 * cycle + 3);
        // Longer apart than together, so that the marker often empties and goes while others
        // wait to lock it.
        Pause(random, 1000);
    }
    return 0;
}

// argv: marker, board, report. Reads the marker while no one may write it, between two looks
// at the board; reports how many reads saw blocks, prints each broken rule and exits 1 on any.
KST_CHILD_ROLE(watcher) {
    Board* board = MapBoard(argv[2]);
    Reader reader;
    int reads = 0, busy = 0, faults = 0;
    auto fault = [&](const std::string& what) {
        if (++faults <= 10) std::fprintf(stderr, "watcher: %s\n", what.c_str());
    };
    while (!board->stop.load()) {
        unsigned before[kWorkers], after[kWorkers];
        for (int i = 0; i < kWorkers; ++i) before[i] = board->progress[i].load();
        std::vector<std::pair<int, int>> blocks;  // worker, cycle
        bool exists = fs::exists(argv[1]);
        CStdioFile marker;
        if (exists && !marker.Open(argv[1], CFile::modeRead | CFile::shareDenyWrite)) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
            continue;
        }
        if (exists) {
            CPropertySet set;
            while (reader.ReadInfoBlock(marker, set)) {
                CString user = Text(set, "User"), client = Text(set, "Client");
                blocks.emplace_back(std::atoi(user.c_str() + 1), std::atoi(client.c_str() + 1));
                if (set.GetCount() != 5 || user[0] != 'w' || client[0] != 'c')
                    fault("bad block " + user.str() + " " + client.str());
            }
            marker.Close();
        }
        for (int i = 0; i < kWorkers; ++i) after[i] = board->progress[i].load();
        ++reads;
        busy += !blocks.empty();
        int seen[kWorkers] = {};
        for (auto [worker, cycle] : blocks) {
            if (worker < 0 || worker >= kWorkers) continue;
            if (++seen[worker] > 1) fault("w" + std::to_string(worker) + " twice");
            unsigned c = static_cast<unsigned>(cycle);
            if (before[worker] > 3 * c + 2 || after[worker] < 3 * c)
                fault("w" + std::to_string(worker) + " stale c" + std::to_string(cycle));
        }
        for (int i = 0; i < kWorkers; ++i) {
            bool held = before[i] == after[i] && before[i] % 3 == 1;
            if (!held) continue;
            bool found = false;
            for (auto [worker, cycle] : blocks)
                found |= worker == i && 3 * unsigned(cycle) + 1 == before[i];
            if (!found) fault("w" + std::to_string(i) + " lost c" + std::to_string(before[i] / 3));
        }
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    ksttest::WriteFile(argv[3], std::to_string(reads) + " " + std::to_string(busy));
    return faults ? 1 : 0;
}

TEST(LockRace, EightProcessesNeverDoubleOrLoseABlock) {
    std::string dir = ksttest::ScratchDir();
    std::string shared = dir + "/shared", temp = dir + "/temp";
    fs::create_directory(shared);
    fs::create_directory(temp);
    std::string file = shared + "/book.xls", marker = shared + "/book.~xls";
    std::string boardPath = dir + "/board";
    Board* board = MapBoard(boardPath);
    // Children put any temporary file of theirs where the test can look for it.
    setenv("TMPDIR", temp.c_str(), 1);

    std::string report = dir + "/watcher.txt";
    pid_t watcher = ksttest::StartChild("watcher", {marker, boardPath, report});
    std::vector<pid_t> lockers;
    for (int i = 0; i < kWorkers; ++i)
        lockers.push_back(ksttest::StartChild("locker", {file, boardPath, std::to_string(i)}));
    for (int i = 0; i < kWorkers; ++i) {
        EXPECT_EQ(ksttest::WaitChild(lockers[i]), 0) << "worker " << i;
        EXPECT_EQ(board->progress[i].load(), 3u * kCycles) << "worker " << i;
    }
    board->stop.store(1);
    EXPECT_EQ(ksttest::WaitChild(watcher), 0);
    unsetenv("TMPDIR");
    int reads = 0, busy = 0;
    std::sscanf(ksttest::ReadFile(report).c_str(), "%d %d", &reads, &busy);
    EXPECT_GE(busy, 20) << reads << " reads";
    std::printf("watcher: %d reads, %d with blocks\n", reads, busy);

    EXPECT_FALSE(fs::exists(marker));
    EXPECT_TRUE(fs::is_empty(shared));
    EXPECT_TRUE(fs::is_empty(temp));
}

}  // namespace

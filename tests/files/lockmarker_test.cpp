// The lock marker: its path, the file's bytes after each step, markers written by other
// programs, moving it with the file, and input it must survive.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>

#include "KstFile.h"
#include "KstFileLockMarker.h"
#include "KstProperties.h"
#include "KstTest.h"

namespace fs = std::filesystem;
using M = CFileLockMarker;

namespace {

// Opens the protected steps for the tests.
class Marker : public CFileLockMarker {
public:
    using CFileLockMarker::GenerateMarkerPath;
    using CFileLockMarker::ReadInfoBlock;
    using CFileLockMarker::WriteInfoBlock;

    Marker() = default;
    Marker(const std::string& file, const char* user, __time64_t time = 0,
           const char* prefix = nullptr) {
        SetFilePath(file.c_str());
        if (prefix) SetKeyPrefix(prefix);
        SetAt(KeyMode, ModeWrite);
        SetAt(KeyUser, user);
        SetAt(KeyServer, "srv");
        SetAt(KeyClient, "pc1");
        if (time) SetAt(KeyTime, new CTimeP(CTime(time)));
    }
};

std::string Block(const char* user, const char* time, const char* eol = "\r\n") {
    std::string lines[] = {"Mode=Write", std::string("User=") + user, "Server=srv",
                           "Client=pc1", std::string("Time=") + time, ""};
    std::string block;
    for (const auto& line : lines) block += line + eol;
    return block;
}

class LockMarker : public ::testing::Test {
protected:
    std::string dir = ksttest::ScratchDir();
    std::string file = dir + "/base.mdb";
    std::string marker = dir + "/base.~mdb";

    std::string Bytes() const { return fs::exists(marker) ? ksttest::ReadFile(marker) : "<none>"; }
};

TEST(LockMarkerPath, TildeBeforeTheOldExtension) {
    const std::pair<const char*, const char*> cases[] = {
        {"c:\\data\\base.mdb", "c:\\data\\base.~mdb"},
        {"c:\\x\\report", "c:\\x\\report.~"},
        {"c:\\x\\a.b.c", "c:\\x\\a.b.~c"},
        {"/srv/share/plan.txt", "/srv/share/plan.~txt"},
        {"", ""},
    };
    for (auto [path, expected] : cases) {
        Marker m;
        m.SetFilePath(path);
        EXPECT_EQ(m.GenerateMarkerPath(), expected) << path;
    }
    Marker none;
    EXPECT_EQ(none.Lock(), M::rMarkerFailed);
    EXPECT_EQ(none.UnLock(), M::rMarkerFailed);
}

TEST_F(LockMarker, BytesAfterEachStepFirstLockStampsTheTimeAndAddsMissingKeys) {
    Marker first(file, "ann", 1000), second(file, "bob", -5);
    EXPECT_EQ(first.Lock(), M::rOK);
    EXPECT_EQ(Bytes(), Block("ann", "1000"));
    EXPECT_EQ(second.Lock(), M::rOK);
    EXPECT_EQ(Bytes(), Block("ann", "1000") + Block("bob", "-5"));
    EXPECT_TRUE(first.IsLock());
    EXPECT_EQ(first.UnLock(), M::rOK);
    EXPECT_FALSE(first.IsLock());
    EXPECT_EQ(Bytes(), Block("bob", "-5"));
    EXPECT_EQ(second.UnLock(), M::rOK);
    EXPECT_EQ(Bytes(), "<none>");
    EXPECT_EQ(second.UnLock(), M::rMarkerFailed);  // no marker

    Marker m;
    m.SetFilePath(file.c_str());
    m.SetAt(M::KeyUser, "ann");
    __time64_t before = CTime::GetCurrentTime().GetTime();
    ASSERT_EQ(m.Lock(), M::rOK);
    CTimeP* time = nullptr;
    ASSERT_TRUE(m.Lookup(M::KeyTime, time));
    EXPECT_GE(time->GetTime(), before);
    std::string stamp = std::to_string(time->GetTime());
    ASSERT_EQ(m.Lock(), M::rOK);  // the same object again: the same block
    std::string one = "Mode=\r\nUser=ann\r\nServer=\r\nClient=\r\nTime=" + stamp + "\r\n\r\n";
    EXPECT_EQ(Bytes(), one + one);
    EXPECT_EQ(m.UnLock(), M::rOK);  // removes both
    EXPECT_EQ(Bytes(), "<none>");
}

TEST_F(LockMarker, UnlockRemovesOnlyEqualSets) {
    Marker own(file, "ann", 1000);
    ASSERT_EQ(own.Lock(), M::rOK);
    Marker fresh;  // never locked, no Time: fewer properties than any block
    fresh.SetFilePath(file.c_str());
    fresh.SetAt(M::KeyUser, "ann");
    EXPECT_EQ(fresh.UnLock(), M::rOK);
    Marker extra(file, "ann", 1000);  // one more property: never equal to a block
    extra.SetAt(M::KeyPath, file.c_str());
    EXPECT_EQ(extra.UnLock(), M::rOK);
    Marker prefixed(file, "ann", 1000, "Lock");  // compared by relative names
    EXPECT_EQ(Bytes(), Block("ann", "1000"));
    EXPECT_EQ(prefixed.UnLock(), M::rOK);
    EXPECT_EQ(Bytes(), "<none>");
}

TEST_F(LockMarker, ReadsBlocksThatOtherProgramsWroteAndEndsAnUnfinishedLastBlock) {
    // LF line ends, blank runs, a comment, keys in other case, a missing Time, no blank at the
    // end, "=" first on a line and values with blanks.
    ksttest::WriteFile(marker,
                       "\n\nMode=Write\nComment\nUser=ann\nServer=srv\nClient=pc1\ntime=5\n\n\n\n"
                       "MODE=Exclusive\nuser=bob\n=skipped\n\r\n"
                       "Mode=Write\nUser= carl \nServer=\nClient=pc9\nTIME=7 ");
    Marker reader;
    CStdioFile in(marker.c_str(), CFile::modeRead | CFile::shareDenyNone);
    CPropertySet set;
    // Per block: the count, then the user and the time (under the keys as written).
    auto next = [&](const char* userKey) {
        int read = reader.ReadInfoBlock(in, set);
        CStringP* user = nullptr;
        CTimeP* time = nullptr;
        return std::to_string(read) + " " + std::to_string(set.GetCount()) + " " +
               (set.Lookup(userKey, user) ? user->str() : "-") + " " +
               (set.Lookup("Time", time) ? std::to_string(time->GetTime()) : "-");
    };
    EXPECT_EQ(next("User"), "1 5 ann 5");
    EXPECT_EQ(next("user"), "1 2 bob -");  // "MODE" and "user"
    EXPECT_EQ(next("User"), "1 5  carl  7");
    EXPECT_EQ(next("User"), "0 0 - -");
    in.Close();

    // ann's block goes; the others are written back in the standard form, the one without the
    // standard keys with empty values and the time of the rewrite.
    Marker ann(file, "ann", 5);
    __time64_t before = CTime::GetCurrentTime().GetTime();
    ASSERT_EQ(ann.UnLock(), M::rOK);
    std::string bytes = Bytes();
    std::string head = "Mode=\r\nUser=\r\nServer=\r\nClient=\r\nTime=";
    ASSERT_EQ(bytes.compare(0, head.size(), head), 0) << bytes;
    size_t eol = bytes.find("\r\n", head.size());
    __time64_t stamped = std::stoll(bytes.substr(head.size(), eol - head.size()));
    EXPECT_GE(stamped, before);
    EXPECT_EQ(bytes.substr(eol),
              "\r\n\r\nMode=Write\r\nUser= carl \r\nServer=\r\nClient=pc9\r\nTime=7\r\n\r\n");

    // A lock ends an unfinished last block first.
    const std::pair<std::string, std::string> cases[] = {
        {"User=bob\nTime=9", "User=bob\nTime=9\r\n\r\n"},
        {"User=bob\nTime=9\n", "User=bob\nTime=9\n\r\n"},
        {"User=bob\r\nTime=9\r\n\r\n", "User=bob\r\nTime=9\r\n\r\n"},
    };
    for (const auto& [before, after] : cases) {
        ksttest::WriteFile(marker, before);
        Marker ann(file, "ann", 1000);
        ASSERT_EQ(ann.Lock(), M::rOK);
        EXPECT_EQ(Bytes(), after + Block("ann", "1000"));
        ASSERT_EQ(ann.UnLock(), M::rOK);
        EXPECT_EQ(Bytes(), "Mode=\r\nUser=bob\r\nServer=\r\nClient=\r\nTime=9\r\n\r\n");
    }
}

TEST_F(LockMarker, TenThousandBlocksAndMovesWithTheFile) {
    std::string text;
    for (int i = 0; i < 10000; ++i) text += Block(("u" + std::to_string(i)).c_str(), "100");
    ksttest::WriteFile(marker, text);
    Marker middle(file, "u5000", 100);
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(middle.Lock(), M::rOK);
    ASSERT_EQ(middle.UnLock(), M::rOK);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string expected = text;
    std::string own = Block("u5000", "100");
    expected.erase(expected.find(own), own.size());
    EXPECT_EQ(Bytes(), expected);
    EXPECT_LT(seconds, 5.0);

    // The marker moves with the file.
    fs::remove(marker);
    Marker m(file, "ann", 1000);
    EXPECT_EQ(m.MoveMarker((dir + "/other.mdb").c_str()), 0);  // not locked
    ASSERT_EQ(m.Lock(), M::rOK);
    std::string upper = file;
    for (auto& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(m.MoveMarker((" " + upper + " ").c_str()), 1);  // the same path: nothing moves
    EXPECT_EQ(m.m_strFilePath, file.c_str());
    EXPECT_EQ(Bytes(), Block("ann", "1000"));

    std::string sub = dir + "/sub";
    fs::create_directory(sub);
    EXPECT_EQ(m.MoveMarker((sub + "/base.mdb").c_str()), 1);  // another folder
    EXPECT_EQ(m.m_strFilePath, (sub + "/base.mdb").c_str());
    EXPECT_EQ(ksttest::ReadFile(sub + "/base.~mdb"), Block("ann", "1000"));
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_EQ(m.MoveMarker((sub + "/renamed.doc").c_str()), 1);  // another name
    EXPECT_TRUE(fs::exists(sub + "/renamed.~doc"));

    // Failures keep the old path: a missing folder, a marker already at the target.
    EXPECT_EQ(m.MoveMarker((dir + "/missing/base.mdb").c_str()), 0);
    EXPECT_EQ(m.m_strFilePath, (sub + "/renamed.doc").c_str());
    ksttest::WriteFile(marker, "taken");
    EXPECT_EQ(m.MoveMarker(file.c_str()), 0);
    EXPECT_EQ(m.m_strFilePath, (sub + "/renamed.doc").c_str());
    EXPECT_EQ(Bytes(), "taken");
    EXPECT_EQ(m.UnLock(), M::rOK);
    EXPECT_FALSE(fs::exists(sub + "/renamed.~doc"));
    m.SetFilePath("");
    EXPECT_EQ(m.IsLock(), 0);
}

// ---- Bad input: the Part's results, no crash, no foreign block deleted ----

TEST_F(LockMarker, MarkerThatIsAFolderOrHasNoPermissions) {
    fs::create_directory(marker);
    Marker m(file, "ann", 1000);
    EXPECT_EQ(m.Lock(), M::rMarkerFailed);
    EXPECT_EQ(m.UnLock(), M::rMarkerFailed);
    EXPECT_TRUE(fs::is_directory(marker));
    EXPECT_FALSE(m.IsLock());
    fs::remove(marker);

    ksttest::WriteFile(marker, Block("bob", "9"));
    ASSERT_EQ(chmod(marker.c_str(), 0), 0);
    Marker bob(file, "bob", 9);
    EXPECT_EQ(bob.Lock(), M::rMarkerFailed);  // no write bits bind every caller
    // Whoever may still read it (root) gets as far as writing the blocks back.
    EXPECT_EQ(bob.UnLock(), access(marker.c_str(), R_OK) == 0 ? M::rTempFailed : M::rMarkerFailed);
    chmod(marker.c_str(), 0644);
    EXPECT_EQ(Bytes(), Block("bob", "9"));
}

TEST_F(LockMarker, BinaryMarkerAndLongLineOfTwoMegabytes) {
    std::mt19937 random(13);
    std::string noise(2 << 20, '\0');
    for (auto& byte : noise) byte = static_cast<char>(random());
    // Real blocks amid the noise: before it, inside it and after it.
    std::string text = Block("head", "1") + noise.substr(0, 1 << 20) + "\n\n" + Block("mid", "2") +
                       noise.substr(1 << 20) + "\n\n" + Block("tail", "3");
    ksttest::WriteFile(marker, text);
    Marker m(file, "ann", 1000);
    ASSERT_EQ(m.Lock(), M::rOK);
    ASSERT_EQ(m.UnLock(), M::rOK);
    std::string bytes = Bytes();
    EXPECT_EQ(bytes.find("User=ann"), std::string::npos);
    for (const char* user : {"head", "mid", "tail"})
        EXPECT_NE(bytes.find(std::string("Mode=Write\r\nUser=") + user + "\r\n"), std::string::npos)
            << user;

    // One line of two megabytes without "=".
    ksttest::WriteFile(marker, std::string(2 << 20, 'x') + "\n\n" + Block("bob", "9"));
    ASSERT_EQ(m.Lock(), M::rOK);
    ASSERT_EQ(m.UnLock(), M::rOK);
    // The line is no block and goes; bob's block after it stays.
    EXPECT_EQ(Bytes(), Block("bob", "9"));
    ksttest::WriteFile(marker, std::string(2 << 20, 'y'));
    ASSERT_EQ(m.Lock(), M::rOK);
    ASSERT_EQ(m.UnLock(), M::rOK);
    EXPECT_EQ(Bytes(), "<none>");
}

}  // namespace

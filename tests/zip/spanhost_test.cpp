// A host's span: removable targets with image folders, Verify verdicts and the user's answers,
// copies that fail and volumes that run out of space.
#include <signal.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <deque>

#include "KstPlatform.h"
#include "KstWin32.h"
#include "ProcessState.h"
#include "ZipTestSupport.h"

using namespace ziptest;
using ksttest::ScratchDir;

namespace {

const char* kWriteError =
    "Обнаружена ошибка при записи архива на дискету.\nРекомендуется заменить дискету и "
    "повторить запись тома.\n";
const char* kRetryQuestion = "Повторить (Да/Yes) или Игнорировать (Нет/No)?";

class HostSpan : public CZipSpan {
public:
    using CZipSpan::CZipSpan;
    bool IsRemovable() override { return removable; }
    Verify_t Verify(CString path) override {
        verified.push_back(path.str());
        if (verdicts.empty()) return VolumeGood;
        Verify_t v = verdicts.front();
        verdicts.pop_front();
        return v;
    }
    bool removable = true;
    std::deque<Verify_t> verdicts;
    std::vector<std::string> verified;
};

struct Box {
    std::string text, caption;
    unsigned type;
};

class SpanHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        kst::SetCodePages(65001, 437);
        dir = ScratchDir();
        archive = InfoZip(dir, "h.zip", "-0");
        source = ReadFile(archive);
        size = static_cast<uint32_t>(source.size() / 3 + 1000);  // three volumes
        kst::SetMessageBoxHandler(
            [this](const std::string& text, const std::string& caption, unsigned type) {
                boxes.push_back({text, caption, type});
                if (answers.empty()) return IDCANCEL;
                int a = answers.front();
                answers.pop_front();
                return a;
            });
    }
    void TearDown() override { kst::SetMessageBoxHandler({}); }

    void ExpectJoinsToSource(const std::string& folder, int count) {
        std::filesystem::create_directories(dir + "/joined");
        CZipSpan join((dir + "/joined/h.zip").c_str());
        ASSERT_EQ(join.UnSpan(folder.c_str(), count), 1);
        EXPECT_TRUE(ReadFile(dir + "/joined/h.zip") == source);
    }

    std::string dir, archive, source;
    uint32_t size = 0;
    std::deque<int> answers;
    std::vector<Box> boxes;
};

TEST_F(SpanHostTest, RemovableTargetWithImageFolderKeepsEveryVolume) {
    HostSpan span(archive.c_str());
    span.m_strImageFolder = (dir + "/image").c_str();
    int count = span.DoSpan(size, (dir + "/target").c_str(), true);
    ASSERT_EQ(count, 3);
    EXPECT_TRUE(boxes.empty());
    ASSERT_EQ(span.verified.size(), 3u);
    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ(span.verified[n - 1], VolumePath(dir + "/target", "h.zip", n));
        EXPECT_EQ(ReadFile(VolumePath(dir + "/image", "h.zip", n)),
                  ReadFile(VolumePath(dir + "/target", "h.zip", n)));
        EXPECT_TRUE(std::filesystem::exists(dir + "/target/Disk" + std::to_string(n) + "/disk" +
                                            std::to_string(n)));
    }
    ExpectJoinsToSource(dir + "/target", count);
}

TEST_F(SpanHostTest, BadVolumeAsksAbortRetryIgnore) {
    HostSpan span(archive.c_str());
    span.m_strImageFolder = (dir + "/image").c_str();
    // Volume 1: bad, retried, good. Volume 2: bad, ignored. Volume 3: good.
    span.verdicts = {CZipSpan::VolumeBad, CZipSpan::VolumeGood, CZipSpan::VolumeBad};
    answers = {IDRETRY, IDIGNORE};
    int count = span.DoSpan(size, (dir + "/target").c_str(), true);
    ASSERT_EQ(count, 3);
    ASSERT_EQ(boxes.size(), 2u);
    for (const Box& box : boxes) {
        EXPECT_EQ(box.text, kWriteError);
        EXPECT_EQ(box.type, unsigned(MB_ABORTRETRYIGNORE | MB_ICONEXCLAMATION | MB_DEFBUTTON2));
    }
    EXPECT_EQ(span.verified.size(), 4u);
    ExpectJoinsToSource(dir + "/target", count);
}

TEST_F(SpanHostTest, AbortEndsTheSpanAndKeepsWrittenVolumes) {
    HostSpan span(archive.c_str());
    span.m_strImageFolder = (dir + "/image").c_str();
    span.verdicts = {CZipSpan::VolumeGood, CZipSpan::VolumeBad};
    answers = {IDABORT};
    EXPECT_EQ(span.DoSpan(size, (dir + "/target").c_str(), true), -1);
    EXPECT_EQ(ReadFile(VolumePath(dir + "/target", "h.zip", 1)).size(), size);
    EXPECT_TRUE(std::filesystem::exists(VolumePath(dir + "/image", "h.zip", 2)));
    EXPECT_FALSE(std::filesystem::exists(VolumePath(dir + "/image", "h.zip", 3)));
}

TEST_F(SpanHostTest, FailedCopyShowsTheSystemErrorAndAsksToRetry) {
    HostSpan span(archive.c_str());
    span.m_strImageFolder = (dir + "/image").c_str();
    // A folder where volume 2 should go: every copy onto it fails.
    std::filesystem::create_directories(VolumePath(dir + "/target", "h.zip", 2));
    answers = {IDOK, IDYES, IDOK, IDNO};
    int count = span.DoSpan(size, (dir + "/target").c_str(), true);
    EXPECT_EQ(count, 3);
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].type, 0x10010u);
    EXPECT_EQ(boxes[1].text, kRetryQuestion);
    EXPECT_EQ(boxes[1].type, unsigned(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(boxes[3].text, kRetryQuestion);
    // The image of volume 2 is whole: the host can copy it by hand.
    EXPECT_EQ(ReadFile(VolumePath(dir + "/image", "h.zip", 2)).size(), size);
}

TEST_F(SpanHostTest, SingleVolumeAnswers) {
    uint32_t whole = static_cast<uint32_t>(source.size());
    {
        HostSpan span(archive.c_str());
        span.m_strImageFolder = (dir + "/image").c_str();
        span.verdicts = {CZipSpan::VolumeBad, CZipSpan::VolumeBad};
        answers = {IDRETRY, IDIGNORE};
        EXPECT_EQ(span.DoSpan(whole, (dir + "/one").c_str(), true), 1);
        EXPECT_EQ(span.verified.size(), 2u);
        EXPECT_TRUE(ReadFile(VolumePath(dir + "/one", "h.zip", 1)) == source);
        EXPECT_TRUE(ReadFile(VolumePath(dir + "/image", "h.zip", 1)) == source);
    }
    HostSpan span(archive.c_str());
    span.verdicts = {CZipSpan::VolumeBad};
    answers = {IDABORT};
    EXPECT_EQ(span.DoSpan(whole, (dir + "/two").c_str(), true), -1);
}

long FilesIn(const std::string& folder) {
    return std::distance(std::filesystem::directory_iterator(folder), {});
}

// Without an image folder the volumes are written to a temporary work file first, which goes
// with the object; with one, no temporary file is made.
TEST_F(SpanHostTest, RemovableTargetsTemporaryWorkFile) {
    std::string tmp = dir + "/tmp";
    std::filesystem::create_directories(tmp);
    ksttest::EnvScope scope("TMPDIR", tmp);
    for (bool image : {false, true}) {
        SCOPED_TRACE(image);
        std::string target = dir + (image ? "/target-image" : "/target");
        {
            HostSpan span(archive.c_str());
            if (image) span.m_strImageFolder = (dir + "/image").c_str();
            ASSERT_EQ(span.DoSpan(size, target.c_str(), true), 3);
            EXPECT_EQ(FilesIn(tmp), image ? 0 : 1);
        }
        EXPECT_EQ(FilesIn(tmp), 0);
        if (!image) ExpectJoinsToSource(target, 3);
    }
}

// A single volume whose path is the archive itself must not empty the archive.
TEST_F(SpanHostTest, SingleVolumeOntoTheArchiveItselfLeavesItWhole) {
    std::string inPlace = VolumePath(dir + "/sv", "h.zip", 1);
    std::filesystem::create_directories(std::filesystem::path(inPlace).parent_path());
    std::filesystem::copy_file(archive, inPlace);
    HostSpan span(inPlace.c_str());
    span.removable = false;
    EXPECT_EQ(span.DoSpan(static_cast<DWORD>(source.size()), (dir + "/sv").c_str(), true), -1);
    EXPECT_TRUE(ReadFile(inPlace) == source);
}

// Volume 3's folder cannot be made (its parent is missing): no volume, -2.
class LostVolumeSpan : public CZipSpan {
public:
    using CZipSpan::CZipSpan;
    CString DiskName(CString folder, CString name, int volume) override {
        if (volume == 3) folder += "/missing";
        return CZipSpan::DiskName(folder, name, volume);
    }
};

TEST_F(SpanHostTest, VolumeThatCannotBePreparedAnswersMinusTwo) {
    LostVolumeSpan span(archive.c_str());
    EXPECT_EQ(span.DoSpan(size, (dir + "/target").c_str(), true), -2);
    EXPECT_EQ(ReadFile(VolumePath(dir + "/target", "h.zip", 1)).size(), size);
    EXPECT_EQ(ReadFile(VolumePath(dir + "/target", "h.zip", 2)).size(), size);
}

// A file where volume 3's folder should be: the folder counts as present, the volume and its
// marker file cannot be created, and the marker's failure is a file error: -1.
TEST_F(SpanHostTest, FileInPlaceOfAVolumeFolderAnswersMinusOne) {
    std::filesystem::create_directories(dir + "/target");
    WriteFile(dir + "/target/Disk3", "a file where the folder should be");
    EXPECT_EQ(Span(archive, dir + "/target", size), -1);
    EXPECT_EQ(ReadFile(VolumePath(dir + "/target", "h.zip", 2)).size(), size);
}

TEST_F(SpanHostTest, WriteFailureAnswersMinusOne) {
    std::filesystem::create_directories(dir + "/target/Disk2");
    std::filesystem::create_symlink("/dev/full", VolumePath(dir + "/target", "h.zip", 2));
    EXPECT_EQ(Span(archive, dir + "/target", size), -1);
    EXPECT_EQ(ReadFile(VolumePath(dir + "/target", "h.zip", 1)).size(), size);
}

// A file size limit stands in for a full diskette: writes past it fail.
KST_CHILD_ROLE(limited_span) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {40000, 40000};
    setrlimit(RLIMIT_FSIZE, &limit);
    return Span(argv[1], argv[2], 60000) == -1 ? 0 : 1;
}

TEST_F(SpanHostTest, VolumeFolderOutOfSpaceAnswersMinusOne) {
    pid_t child = ksttest::StartChild("limited_span", {archive, dir + "/target"});
    EXPECT_EQ(ksttest::WaitChild(child), 0);
    EXPECT_EQ(std::filesystem::file_size(VolumePath(dir + "/target", "h.zip", 1)), 40000u);
}

}  // namespace

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

namespace {

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
    CString DiskName(CString folder, CString name, int volume) override {
        if (volume == lostVolume) folder += "/missing";
        return CZipSpan::DiskName(folder, name, volume);
    }
    bool removable = true;
    int lostVolume = 0;
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

    // Spans onto dir/target (with the image folder dir/image unless off).
    int Run(HostSpan& span, bool image = true, uint32_t volumeSize = 0) {
        if (image) span.m_strImageFolder = (dir + "/image").c_str();
        return span.DoSpan(volumeSize ? volumeSize : size, (dir + "/target").c_str(), true);
    }
    std::string Volume(int n, const char* folder = "/target") {
        return ReadFile(VolumePath(dir + folder, "h.zip", n));
    }
    void ExpectJoinsToSource(int count) {
        ASSERT_EQ(Join(dir + "/joined/h.zip", dir + "/target", count), 1);
        EXPECT_TRUE(ReadFile(dir + "/joined/h.zip") == source);
    }

    std::string dir, archive, source;
    uint32_t size = 0;
    std::deque<int> answers;
    std::vector<Box> boxes;
};

// Volume 1: bad, retried, good. Volume 2: bad, ignored. Volume 3: good. Every volume is
// verified on the target, its image kept, its marker file written.
TEST_F(SpanHostTest, BadVolumeAsksAbortRetryIgnore) {
    HostSpan span(archive.c_str());
    span.verdicts = {CZipSpan::VolumeBad, CZipSpan::VolumeGood, CZipSpan::VolumeBad};
    answers = {IDRETRY, IDIGNORE};
    ASSERT_EQ(Run(span), 3);
    ASSERT_EQ(boxes.size(), 2u);
    for (const Box& box : boxes) {
        EXPECT_EQ(box.text,
                  "Обнаружена ошибка при записи архива на дискету.\nРекомендуется заменить "
                  "дискету и повторить запись тома.\n");
        EXPECT_EQ(box.type, unsigned(MB_ABORTRETRYIGNORE | MB_ICONEXCLAMATION | MB_DEFBUTTON2));
    }
    std::vector<std::string> targets;
    for (int n : {1, 1, 2, 3}) targets.push_back(VolumePath(dir + "/target", "h.zip", n));
    EXPECT_EQ(span.verified, targets);
    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ(Volume(n, "/image"), Volume(n));
        EXPECT_TRUE(
            std::filesystem::exists(VolumePath(dir + "/target", "disk" + std::to_string(n), n)));
    }
    ExpectJoinsToSource(3);
}

TEST_F(SpanHostTest, AbortEndsTheSpanAndKeepsWrittenVolumes) {
    HostSpan span(archive.c_str());
    span.verdicts = {CZipSpan::VolumeGood, CZipSpan::VolumeBad};
    answers = {IDABORT};
    EXPECT_EQ(Run(span), -1);
    EXPECT_EQ(Volume(1).size(), size);
    EXPECT_TRUE(std::filesystem::exists(VolumePath(dir + "/image", "h.zip", 2)));
    EXPECT_FALSE(std::filesystem::exists(VolumePath(dir + "/image", "h.zip", 3)));
    // A single volume: retried and ignored it stays whole; aborted, the span fails.
    HostSpan one(archive.c_str());
    one.verdicts = {CZipSpan::VolumeBad, CZipSpan::VolumeBad};
    answers = {IDRETRY, IDIGNORE};
    std::filesystem::remove_all(dir + "/target");
    EXPECT_EQ(Run(one, true, static_cast<uint32_t>(source.size())), 1);
    EXPECT_EQ(one.verified.size(), 2u);
    EXPECT_TRUE(Volume(1) == source && Volume(1, "/image") == source);
    HostSpan aborted(archive.c_str());
    aborted.verdicts = {CZipSpan::VolumeBad};
    answers = {IDABORT};
    EXPECT_EQ(Run(aborted, false, static_cast<uint32_t>(source.size())), -1);
}

TEST_F(SpanHostTest, FailedCopyShowsTheSystemErrorAndAsksToRetry) {
    HostSpan span(archive.c_str());
    // A folder where volume 2 should go: every copy onto it fails.
    std::filesystem::create_directories(VolumePath(dir + "/target", "h.zip", 2));
    answers = {IDOK, IDYES, IDOK, IDNO};
    EXPECT_EQ(Run(span), 3);
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].type, 0x10010u);
    EXPECT_EQ(boxes[1].text, kRetryQuestion);
    EXPECT_EQ(boxes[1].type, unsigned(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(boxes[3].text, kRetryQuestion);
    // The image of volume 2 is whole: the host can copy it by hand.
    EXPECT_EQ(Volume(2, "/image").size(), size);

    // Without an image every copy of the work file fails: No ends the span as a failure.
    std::filesystem::remove_all(dir + "/target");
    for (int n = 1; n <= 3; ++n)
        std::filesystem::create_directories(VolumePath(dir + "/target", "h.zip", n));
    HostSpan refused(archive.c_str());
    answers = {IDOK, IDNO};
    EXPECT_EQ(Run(refused, false), -1);
    EXPECT_EQ(refused.GetFailureVolume(), 1);
    EXPECT_EQ(refused.GetFailureReason().str(), "copying volume 1 onto " +
                                                    VolumePath(dir + "/target", "h.zip", 1) +
                                                    " failed: Access is denied");
    EXPECT_EQ(boxes.back().text, kRetryQuestion);
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
    for (bool image : {true, false}) {
        SCOPED_TRACE(image);
        std::filesystem::remove_all(dir + "/target");
        {
            HostSpan span(archive.c_str());
            ASSERT_EQ(Run(span, image), 3);
            EXPECT_EQ(FilesIn(tmp), image ? 0 : 1);
        }
        EXPECT_EQ(FilesIn(tmp), 0);
    }
    ExpectJoinsToSource(3);
}

// A file size limit stands in for a full diskette: writes past it fail.
KST_CHILD_ROLE(limited_span) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {40000, 40000};
    setrlimit(RLIMIT_FSIZE, &limit);
    return Span(argv[1], argv[2], 60000) == -1 ? 0 : 1;
}

// Each failure keeps the volumes written before it.
TEST_F(SpanHostTest, FailuresKeepTheVolumesBefore) {
    namespace fs = std::filesystem;
    std::string target = dir + "/target";
    HostSpan lost(archive.c_str());  // volume 3's folder cannot be made: its parent is missing
    lost.removable = false;
    lost.lostVolume = 3;
    EXPECT_EQ(Run(lost, false), -2);
    EXPECT_EQ(Volume(2).size(), size);
    // A file where volume 3's folder should be: the folder counts as present, the volume and
    // its marker file cannot be created, and the marker's failure is a file error.
    fs::remove_all(target);
    fs::create_directories(target);
    WriteFile(target + "/Disk3", "a file where the folder should be");
    EXPECT_EQ(Span(archive, target, size), -1);
    EXPECT_EQ(Volume(2).size(), size);
    fs::remove_all(target);
    fs::create_directories(target + "/Disk2");
    fs::create_symlink("/dev/full", VolumePath(target, "h.zip", 2));
    EXPECT_EQ(Span(archive, target, size), -1);
    EXPECT_EQ(Volume(1).size(), size);
    fs::remove_all(target);
    EXPECT_EQ(ksttest::WaitChild(ksttest::StartChild("limited_span", {archive, target})), 0);
    EXPECT_EQ(fs::file_size(VolumePath(target, "h.zip", 1)), 40000u);
    // A single volume whose path is the archive itself must not empty the archive.
    fs::remove_all(target);
    fs::create_directories(target + "/Disk1");
    fs::copy_file(archive, VolumePath(target, "h.zip", 1));
    HostSpan self(VolumePath(target, "h.zip", 1).c_str());
    self.removable = false;
    EXPECT_EQ(Run(self, false, static_cast<uint32_t>(source.size())), -1);
    EXPECT_TRUE(Volume(1) == source);
}

}  // namespace

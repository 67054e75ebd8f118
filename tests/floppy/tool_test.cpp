// kst floppy-copy and floppy-verify, as a user runs them on an image.
#include "FloppyTestSupport.h"

using namespace floppytest;
using ksttest::ToolPath;

namespace {

class FloppyTool : public FloppyTest {
protected:
    void SetUp() override {
        FloppyTest::SetUp();
        m_image = std::make_unique<floppytest::Image>(m_dir);
        m_image->Mkdir("DOCS");
        m_image->Put("DOCS/NOTE.TXT", RandomBytes(1300, 8));
        m_sectors = m_image->Sectors("DOCS/NOTE.TXT");
    }
    // Runs kst COMMAND --image IMAGE PATH ARGS; answers the exit code, stdout and stderr in out.
    int Kst(const std::string& command, const std::string& path, const std::string& args,
            std::string* out) {
        return RunCommand(Quote(ToolPath()) + " " + command + " --image " + Quote(m_image->path()) +
                              " " + Quote(path) + " " + args + " 2>&1",
                          out);
    }
    std::string Bad(int ordinal) const { return " --bad " + std::to_string(m_sectors[ordinal]); }

    std::unique_ptr<floppytest::Image> m_image;
    std::vector<unsigned> m_sectors;
};

TEST_F(FloppyTool, CopyListsTheBadSectorsAndWhatTheyMean) {
    std::string out, note = m_image->Extract("DOCS/NOTE.TXT"), zeroed = note;
    zeroed.replace(512, 512, std::string(512, '\0'));
    const std::string copied = "copied A:\\DOCS\\NOTE.TXT to " + Out() + "\n";
    for (const char* family : {"nt", "9x"}) {
        ASSERT_EQ(Kst("floppy-copy", "A:\\DOCS\\NOTE.TXT",
                      Quote(Out()) + " --family " + family + Bad(1), &out),
                  0)
            << out;
        EXPECT_EQ(out, copied +
                           "bad sectors: 1 (sector ordinals of the file, from 0)\n"
                           "  1: bytes 512 to 1023 of " +
                           Out() + " are not the diskette's (zeros)\n");
        EXPECT_TRUE(ReadFile(Out()) == zeroed);
    }
    // A sector bad for two reads reads on the third attempt.
    ASSERT_EQ(
        Kst("floppy-copy", "a:\\docs\\note.txt", Quote(Out()) + Bad(2) + ":2 --retries 2", &out),
        0);
    EXPECT_EQ(out, "copied a:\\docs\\note.txt to " + Out() + "\nno bad sectors\n");
    EXPECT_TRUE(ReadFile(Out()) == note);
    // The file's last sector: its range ends with the file.
    ASSERT_EQ(Kst("floppy-copy", "A:\\DOCS\\NOTE.TXT", Quote(Out()) + Bad(2), &out), 0);
    EXPECT_NE(out.find("  2: bytes 1024 to 1299 of " + Out() + " are not"), std::string::npos)
        << out;
    ASSERT_EQ(
        Kst("floppy-copy", "A:\\DOCS\\NOTE.TXT", Quote(Out()) + Bad(1) + " --max-bad 0", &out), 0);
    EXPECT_EQ(out, copied +
                       "bad sectors: 1 (sector ordinals of the file, from 0)\n"
                       "  1: not read; more than 0 bad sectors: the copy ends at byte 512\n");
    EXPECT_EQ(ReadFile(Out()).size(), 512u);
    ASSERT_EQ(Kst("floppy-verify", "A:\\DOCS\\NOTE.TXT", "--family 9x", &out), 0);
    EXPECT_EQ(out, "read A:\\DOCS\\NOTE.TXT\nno bad sectors\n");
}

TEST_F(FloppyTool, Failures) {
    std::string out;
    EXPECT_EQ(Kst("floppy-verify", "A:\\DOCS\\NONE.TXT", "", &out), 1);
    EXPECT_EQ(out, "kst: A:\\DOCS\\NONE.TXT: not found on " + m_image->path() + "\n");
    EXPECT_EQ(RunCommand(Quote(ToolPath()) + " floppy-verify --image " +
                             Quote(m_dir + "/none.img") + " 'A:\\X.TXT' 2>&1",
                         &out),
              1);
    EXPECT_EQ(out, "kst: cannot open " + m_dir + "/none.img: No such file or directory\n");
    EXPECT_EQ(Kst("floppy-verify", "C:\\X.TXT", "", &out), 2);
    EXPECT_EQ(Kst("floppy-verify", "A:\\X.TXT", "--family 95", &out), 2);
    EXPECT_EQ(Kst("floppy-verify", "A:\\X.TXT", "--bad 1,x", &out), 2);
    EXPECT_EQ(Kst("floppy-copy", "A:\\X.TXT", "", &out), 2) << "no destination";
}

}  // namespace

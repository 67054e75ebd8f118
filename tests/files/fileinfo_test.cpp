// The file info record: comparisons, the packed text and the archive form to the byte, read
// back by a second process.
#include <gtest/gtest.h>
#include <utime.h>

#include <memory>
#include <cstdio>
#include <string>
#include <tuple>

#include "KstArchive.h"
#include "KstFile.h"
#include "KstFileInfo.h"
#include "KstProperties.h"
#include "KstTest.h"
#include "../xml/XmlTestSupport.h"

using ksttest::Hex;

namespace {

CFileInfo Record(const char* name, LONG size, __time64_t time, DWORD number, DWORD checkSum) {
    CFileInfo info{CString(name)};
    info.m_nSize = size;
    info.m_timeModify = CTime(time);
    info.m_nNumber = number;
    info.m_nCheckSum = checkSum;
    return info;
}

std::string StoreTo(const std::string& path, CObject* object, bool tagged) {
    CFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite);
    CArchive ar(&file, CArchive::store);
    if (tagged)
        ar << object;
    else
        object->Serialize(ar);
    ar.Close();
    file.Close();
    return ksttest::ReadFile(path);
}

// name a.txt, time 777, packed 100, size 400, ratio 25, number 3.
CFileInfo ArchiveSample() {
    CFileInfo info = Record("a.txt", 400, 777, 3, 9);
    info.m_nPackedSize = 100;
    info.ComputeRatio();
    info.m_nKind = 4;
    info.m_nState = 5;
    info.m_strAux1 = "aux";
    info.m_wAux1 = 6;
    return info;
}

// Every member: the packed five, then ratio, packed size, kind, state, aux texts and words.
std::string All(const CFileInfo& i) {
    char rest[128];
    std::snprintf(rest, sizeof rest, "%g %u %d %d %s %s %u %u", i.m_fRatio, i.m_nPackedSize,
                  i.m_nKind, i.m_nState, i.m_strAux1.c_str(), i.m_strAux2.c_str(), i.m_wAux1,
                  i.m_wAux2);
    return i.PackToString("|").str() + " " + rest;
}

const char kSampleBytes[] =
    "05 61 2e 74 78 74 09 03 00 00 64 00 00 00 90 01 00 00 00 00 c8 41 03 00 00 00";

TEST(FileInfo, RatioIsPercentOfTheSizeTimesAreSameWithinTwoSeconds) {
    CFileInfo info;
    info.m_nPackedSize = 100;
    info.ComputeRatio();  // size 0: no division
    EXPECT_EQ(info.m_fRatio, 0.0f);
    info.m_nSize = 400;
    info.ComputeRatio();
    EXPECT_EQ(info.m_fRatio, 25.0f);
    info.m_nPackedSize = 0xFFFFFFFFu;  // unsigned packed size, signed size
    info.m_nSize = -1;
    info.ComputeRatio();
    EXPECT_FLOAT_EQ(info.m_fRatio, -429496729500.0f);

    info = Record("a", 0, 1000, 0, 0);  // the same time within two seconds
    const std::pair<int, int> cases[] = {{-2, 0}, {-1, 1}, {0, 1}, {1, 1}, {2, 0}};
    for (auto [delta, same] : cases)
        EXPECT_EQ(info.SameModifyTime(CTime(1000 + delta)), same) << delta;
    CFileInfo other = Record("other", 0, 1001, 7, 7);
    EXPECT_EQ(info.CompareFromModifyTimeAndSize(&other), 1);
    other.m_nSize = 1;
    EXPECT_EQ(info.CompareFromModifyTimeAndSize(&other), 0);
}

TEST(FileInfo, ComparesTimeNameSizeKindAndKnownChecksums) {
    struct Case {
        const char* what;
        void (*change)(CFileInfo&);
        bool equal;
    };
    const Case cases[] = {
        {"name in other case", [](CFileInfo& i) { i.m_strFileName = "C:\\DATA\\A.TXT"; }, true},
        {"own checksum unknown", [](CFileInfo& i) { i.m_nCheckSum = 0; }, true},
        {"other fields",
         [](CFileInfo& i) {
             i.m_nNumber = 9;
             i.m_nState = 9;
             i.m_strAux1 = "x";
         },
         true},
        {"checksum differs", [](CFileInfo& i) { i.m_nCheckSum = 6; }, false},
        {"kind", [](CFileInfo& i) { i.m_nKind = 1; }, false},
        {"one second", [](CFileInfo& i) { i.m_timeModify += CTimeSpan(1); }, false},
        {"size", [](CFileInfo& i) { i.m_nSize = 11; }, false},
        {"name", [](CFileInfo& i) { i.m_strFileName = "c:\\data\\b.txt"; }, false},
    };
    const CFileInfo base = Record("c:\\data\\a.txt", 10, 500, 1, 5);
    for (const auto& c : cases) {
        CFileInfo other = base;
        c.change(other);
        EXPECT_EQ(base.CompareFileInfo(&other), c.equal) << c.what;
        EXPECT_EQ(base == static_cast<const CObjectP&>(other), c.equal) << c.what;
        EXPECT_EQ(base != other, !c.equal) << c.what;
    }
    EXPECT_TRUE(Record("c:\\data\\a.txt", 10, 500, 1, 0).CompareFileInfo(&base));  // own unknown
    EXPECT_FALSE(base == static_cast<const CObjectP&>(CStringP(CString("c:\\data\\a.txt"))));
}

TEST(FileInfo, CopiesEveryMemberPacksFiveFieldsUnpacksByThePieceCount) {
    CFileInfo source = ArchiveSample();
    source.m_strAux2 = "two";
    source.m_wAux2 = 8;
    std::unique_ptr<CObjectP> copy(source.CreateCopy());
    auto* info = dynamic_cast<CFileInfo*>(copy.get());
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(All(*info), "a.txt|3|400|777|9| 25 100 4 5 aux two 6 8");
    CStringP text(CString("x"));
    *info = static_cast<const CObjectP&>(text);  // another class: nothing assigned
    EXPECT_EQ(info->m_strFileName, "a.txt");

    EXPECT_EQ(Record("a.txt", 500, 777, 3, 0).PackToString("|"), "a.txt|3|500|777|0|");
    // Numbers are unsigned: they wrap, and read back to the same bits.
    CFileInfo wrapped = Record("big", -1, 0xFFFFFFFFLL, 4294967295u, 4000000000u);
    EXPECT_EQ(wrapped.PackToString("::"), "big::4294967295::4294967295::4294967295::4000000000::");
    CString out = "stale";
    wrapped.PackToString(out, ";");
    EXPECT_EQ(out, "big;4294967295;4294967295;4294967295;4000000000;");
    CFileInfo back;
    EXPECT_EQ(back.UnpackFromString(out, ";"), 1);
    EXPECT_EQ(
        std::tuple(back.m_nSize, back.m_timeModify.GetTime(), back.m_nNumber, back.m_nCheckSum),
        std::tuple(-1, 0xFFFFFFFFLL, 4294967295u, 4000000000u));

    struct Case {
        const char* text;
        int result;
        const char* packedAfter;  // the record packed again with "|"
    };
    const Case cases[] = {
        {"a.txt|7", 0, "a.txt|7|2|3|4|"},
        {"a.txt|7|8|", 0, "a.txt|7|8|3|4|"},
        {"n|1|2|3", 1, "n|1|2|3|4|"},
        {"n|1|2|3|0|", 1, "n|1|2|3|0|"},
        {"n| -5|+6|x9|99999999999", 1, "n|4294967291|6|0|1215752191|"},
        {"a|b.txt|1|2|3|4|", 0, "old|1|2|3|4|"},  // the name holds the delimiter: 6 pieces
        {"", 0, "old|1|2|3|4|"},
        {"|||", 0, "|0|0|3|4|"},  // three empty pieces: a trailing delimiter gives none
    };
    for (const auto& c : cases) {
        CFileInfo info = Record("old", 2, 3, 1, 4);
        EXPECT_EQ(info.UnpackFromString(c.text, "|"), c.result) << c.text;
        EXPECT_EQ(info.PackToString("|"), c.packedAfter) << c.text;
    }
}

TEST(FileInfo, ArchiveFormToTheByteXmlFormEmpty) {
    std::string path = ksttest::ScratchDir() + "/bare.bin";
    CFileInfo sample = ArchiveSample();
    EXPECT_EQ(Hex(StoreTo(path, &sample, false)), kSampleBytes);
    // Loading keeps the fields that the archive does not carry.
    CFileInfo loaded = Record("x", 1, 1, 1, 77);
    loaded.m_nKind = 42;
    {
        CFile file(path.c_str(), CFile::modeRead);
        CArchive ar(&file, CArchive::load);
        loaded.Serialize(ar);
    }
    EXPECT_EQ(All(loaded), "a.txt|3|400|777|77| 25 100 42 1   0 0");
    // The XML form is an empty element and reads nothing.
    EXPECT_EQ(xmltest::Store(sample, "CFileInfo"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CFileInfo/>\n");
    xmltest::Load("<CFileInfo Name=\"b.txt\"><Size>1</Size></CFileInfo>", sample);
    EXPECT_EQ(sample.PackToString("|"), "a.txt|3|400|777|9|");
}

// Reads a tagged record from argv[1]; exits 0 when it is the sample with initial other fields.
KST_CHILD_ROLE(read_record) {
    CFile file(argv[1], CFile::modeRead);
    CArchive ar(&file, CArchive::load);
    CObject* object = nullptr;
    ar >> object;
    std::unique_ptr<CObject> owned(object);
    auto* info = dynamic_cast<CFileInfo*>(object);
    if (!info) return 2;
    return All(*info) == "a.txt|3|400|777|0| 25 100 0 1   0 0" ? 0 : 3;
}

TEST(FileInfo, ArchivedByClassNameAndReadBackByAnotherProcess) {
    std::string path = ksttest::ScratchDir() + "/tagged.bin";
    CFileInfo sample = ArchiveSample();
    // The new-class tag (schema 1, "CFileInfo"), then the record's own bytes.
    EXPECT_EQ(Hex(StoreTo(path, &sample, true)),
              std::string("ff ff 01 00 09 00 43 46 69 6c 65 49 6e 66 6f ") + kSampleBytes);
    EXPECT_EQ(ksttest::WaitChild(ksttest::StartChild("read_record", {path})), 0);
}

TEST(FileInfo, GetFileInfoReadsTimeAndSize) {
    std::string path = ksttest::ScratchDir() + "/data.bin";
    ksttest::WriteFile(path, std::string(1234, 'x'));
    struct utimbuf times {};
    times.actime = times.modtime = 1600000000;
    ASSERT_EQ(utime(path.c_str(), &times), 0);
    CFileInfo info = Record("kept", 1, 2, 3, 4);
    EXPECT_NE(info.GetFileInfo(path.c_str()), 0);
    EXPECT_EQ(info.PackToString("|"), "kept|3|1234|1600000000|4|");
    EXPECT_EQ(info.GetFileInfo((path + ".missing").c_str()), 0);
    EXPECT_EQ(info.PackToString("|"), "kept|3|1234|1600000000|4|");
}

}  // namespace

// Files on a failing disk (the layer's faults for tests): an archive whose write fails raises
// the file exception and leaves nothing that loads as an object; reads and writes that fall
// short or fail at an offset.
#include <gtest/gtest.h>

#include <memory>

#include "KstArchive.h"
#include "KstFile.h"
#include "KstProperties.h"
#include "KstTest.h"
#include "platform/system/internal/Faults.h"

namespace {

using kst::detail::FaultPlan;

class Faults : public ::testing::Test {
protected:
    void TearDown() override { kst::detail::ClearFaults(); }

    // A set of 40 texts of 200 bytes: about 8 KB stored, more than one archive buffer.
    static std::unique_ptr<CPropertySet> BigSet() {
        auto set = std::make_unique<CPropertySet>();
        for (int i = 0; i < 40; ++i)
            set->SetAt(("key" + std::to_string(i)).c_str(),
                       std::string(200, char('a' + i % 26)).c_str());
        return set;
    }
    void Store(const CPropertySet& set) {
        CFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        ar.WriteObject(&set);
        ar.Close();
        file.Close();
    }
    // The object loaded back; the archive exception's cause in *cause (-1 when none).
    std::unique_ptr<CObject> Load(int* cause) {
        *cause = -1;
        std::unique_ptr<CObject> object;
        try {
            CFile file(path.c_str(), CFile::modeRead);
            CArchive ar(&file, CArchive::load);
            object.reset(ar.ReadObject(nullptr));
        } catch (CArchiveException* e) {
            *cause = e->m_cause;
            e->Delete();
        }
        return object;
    }

    std::string path = ksttest::ScratchDir() + "/faults.bin";
};

TEST_F(Faults, ArchiveOnAFullDiskRaisesTheFileExceptionAndLoadsAsNothing) {
    auto set = BigSet();
    for (long long limit : {0LL, 100LL, 4096LL, 5000LL}) {
        SCOPED_TRACE(limit);
        FaultPlan plan;
        plan.pathPart = "faults.bin";
        plan.writeLimit = limit;
        kst::detail::SetFaults(plan);
        int fileCause = -1;
        try {
            Store(*set);
        } catch (CFileException* e) {
            fileCause = e->m_cause;
            e->Delete();
        }
        kst::detail::ClearFaults();
        EXPECT_EQ(fileCause, CFileException::diskFull);
        EXPECT_EQ(ksttest::ReadFile(path).size(), static_cast<size_t>(limit));
        int cause = 0;
        EXPECT_EQ(Load(&cause), nullptr);
        EXPECT_EQ(cause, CArchiveException::endOfFile);
    }
}

TEST_F(Faults, ShortWritesAndReadsKeepEveryByte) {
    auto set = BigSet();
    FaultPlan plan;
    plan.shortWrites = 7;
    plan.shortReads = 5;
    kst::detail::SetFaults(plan);
    Store(*set);
    int cause = 0;
    auto loaded = Load(&cause);
    kst::detail::ClearFaults();
    EXPECT_EQ(cause, -1);
    auto* copy = dynamic_cast<CPropertySet*>(loaded.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(*copy == *set);
}

TEST_F(Faults, ReadFailureAtAnOffsetRaisesTheFileException) {
    Store(*BigSet());
    FaultPlan plan;
    plan.pathPart = "faults.bin";
    plan.readFailAt = 6000;
    kst::detail::SetFaults(plan);
    int fileCause = -1;
    try {
        int cause = 0;
        Load(&cause);
    } catch (CFileException* e) {
        fileCause = e->m_cause;
        e->Delete();
    }
    EXPECT_EQ(fileCause, CFileException::genericException);  // EIO is the system's general failure
    // The bytes before the offset still read.
    CFile file(path.c_str(), CFile::modeRead);
    char buffer[6000];
    EXPECT_EQ(file.Read(buffer, sizeof buffer), sizeof buffer);
}

}  // namespace

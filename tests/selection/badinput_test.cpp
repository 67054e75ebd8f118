// Damaged pattern archives: every cut of a real CPatternArray archive and byte flips all over
// it end in the archive exception or in a list of the right classes; nothing crashes, leaks
// (the sanitizer build checks) or is owned twice.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <set>

#include "KstFile.h"
#include "KstStringArrayP.h"
#include "SelectionTestData.h"

using namespace seltest;

namespace {

std::string RealArchive() {
    CPatternArray list;
    auto* docs = new CPattern;
    docs->GetPatternName() = "Documents";
    docs->SetSimple(1);
    CStringArray include, exclude, subDirs;
    Fill(include, {"*.txt", "*.doc"});
    Fill(exclude, {"~*"});
    Fill(subDirs, {"letters", "old files"});
    docs->ConvertFromSimple(include, exclude, 0, subDirs, 0);
    list.Add(docs);
    list.Add(nullptr);
    auto* all = new CPattern;
    all->GetPatternName() = "All";
    all->ConvertFromSimple(include, exclude, 1, subDirs, 1);
    list.Add(all);
    return ksttest::Store([&](CArchive& ar) { ar.WriteObject(&list); });
}

enum class Outcome { Loaded, ArchiveError, OtherError };

// Loads from memory into a list that held a pattern before; checks that whatever the list
// holds afterwards is of the right classes and owned once.
Outcome Load(const std::string& bytes, std::set<const void*>& seen) {
    std::string buffer = bytes;
    CMemFile file(reinterpret_cast<BYTE*>(buffer.data()), static_cast<UINT>(buffer.size()));
    CArchive ar(&file, CArchive::load);
    CPatternArray list;
    list.Add(new CPattern);
    Outcome outcome = Outcome::Loaded;
    try {
        std::unique_ptr<CObject> object(ar.ReadObject(RUNTIME_CLASS(CPatternArray)));
        if (auto* read = dynamic_cast<CPatternArray*>(object.get())) list = *read;
    } catch (CArchiveException* e) {
        e->Delete();
        outcome = Outcome::ArchiveError;
    } catch (CException* e) {
        e->Delete();
        outcome = Outcome::OtherError;
    } catch (...) {
        outcome = Outcome::OtherError;
    }
    ar.Abort();
    seen.clear();
    for (int i = 0; i < list.GetSize(); ++i) {
        if (!list.GetAt(i)) continue;
        CPattern* pattern = list.GetPatternAt(i);
        EXPECT_NE(pattern, nullptr);
        if (!pattern) continue;
        EXPECT_TRUE(seen.insert(pattern).second);
        for (int j = 0; j < pattern->GetSize(); ++j) {
            if (!pattern->GetAt(j)) continue;
            EXPECT_NE(pattern->GetMaskAt(j), nullptr);
            EXPECT_TRUE(seen.insert(pattern->GetAt(j)).second);
        }
    }
    return outcome;
}

// The same cut read straight into a list that held patterns: what was read stays owned.
Outcome LoadInto(const std::string& bytes, CPatternArray& list) {
    std::string buffer = bytes;
    CMemFile file(reinterpret_cast<BYTE*>(buffer.data()), static_cast<UINT>(buffer.size()));
    CArchive ar(&file, CArchive::load);
    try {
        list.Serialize(ar);
    } catch (CArchiveException* e) {
        e->Delete();
        ar.Abort();
        return Outcome::ArchiveError;
    }
    ar.Abort();
    return Outcome::Loaded;
}

TEST(BadInput, EveryCutEndsInTheArchiveException) {
    const std::string bytes = RealArchive();
    ASSERT_GT(bytes.size(), 100u);
    std::set<const void*> seen;
    ASSERT_EQ(Load(bytes, seen), Outcome::Loaded);
    EXPECT_EQ(seen.size(), 2u + 3u);
    const size_t tag = ksttest::NewClassTag("CPatternArray", 1).size();
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        EXPECT_EQ(Load(bytes.substr(0, cut), seen), Outcome::ArchiveError) << "cut at " << cut;
        if (cut < tag) continue;
        CPatternArray list;
        list.Add(new CPattern);
        EXPECT_EQ(LoadInto(bytes.substr(tag, cut - tag), list), Outcome::ArchiveError)
            << "cut at " << cut;
        for (int i = 0; i < list.GetSize(); ++i)
            EXPECT_TRUE(!list.GetAt(i) || list.GetPatternAt(i)) << "cut at " << cut;
    }
}

TEST(BadInput, FlippedBytesEndInTheArchiveExceptionOrInAList) {
    const std::string bytes = RealArchive();
    std::set<const void*> seen;
    int loaded = 0, refused = 0;
    auto check = [&](const std::string& damaged, const std::string& what) {
        Outcome outcome = Load(damaged, seen);
        EXPECT_NE(outcome, Outcome::OtherError) << what;
        (outcome == Outcome::Loaded ? loaded : refused)++;
    };
    for (size_t at = 0; at < bytes.size(); ++at) {
        for (unsigned char mask : {0x01, 0x80, 0xFF}) {
            std::string damaged = bytes;
            damaged[at] = static_cast<char>(damaged[at] ^ mask);
            check(damaged, "byte " + std::to_string(at) + " ^ " + std::to_string(mask));
        }
    }
    std::mt19937 random(20261206);
    for (int round = 0; round < 300; ++round) {
        std::string damaged = bytes;
        for (int n = 1 + static_cast<int>(random() % 4); n > 0; --n)
            damaged[random() % damaged.size()] = static_cast<char>(random());
        check(damaged, "round " + std::to_string(round));
    }
    // Flips inside texts still load; flips in tags, counts and lengths do not.
    EXPECT_GT(loaded, 0);
    EXPECT_GT(refused, 0);
}

TEST(BadInput, ElementsOfAnotherClassAreRefused) {
    // A pattern list holding a mask spec, and a pattern holding a string.
    CPatternArray wrong;
    wrong.Add(new CMaskSpec);
    std::string bytes = ksttest::Store([&](CArchive& ar) { wrong.Serialize(ar); });
    CPatternArray list;
    EXPECT_EQ(LoadInto(bytes, list), Outcome::ArchiveError);
    EXPECT_EQ(list.GetSize(), 0);

    CPattern pattern;
    pattern.Add(new CMaskSpec);
    pattern.Add(new CStringArrayP);
    bytes = ksttest::Store([&](CArchive& ar) { pattern.Serialize(ar); });
    CPattern loaded;
    int cause = ksttest::ArchiveCause(
        [&] { ksttest::LoadBytes(bytes, [&](CArchive& ar) { loaded.Serialize(ar); }); });
    EXPECT_EQ(cause, CArchiveException::badClass);
    ASSERT_EQ(loaded.GetSize(), 1);
    EXPECT_NE(loaded.GetMaskAt(0), nullptr);
}

}  // namespace

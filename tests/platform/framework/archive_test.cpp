// CArchive: exact bytes of counts, strings, class tags and back references, reading the
// wide-string form, the archive exceptions, and hostile input (truncation, garbling, huge
// counts) that must end in CArchiveException without crash, leak or huge allocation.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <tuple>

#include "ArchiveFiles.h"
#include "KstCollections.h"
#include "KstPlatform.h"

using ksttest::Hex;
using ksttest::LoadBytes;
using ksttest::LoadCause;
using ksttest::NewClassTag;
using ksttest::Store;

namespace {

int g_alive = 0;  // test objects alive right now
// Hostile input may turn a child into a back reference to anything; those loads let no node
// own its children and delete every test object left over instead.
bool g_nodesOwnChildren = true;
std::set<CObject*> g_live;

void Track(CObject* p, bool alive) {
    g_alive += alive ? 1 : -1;
    if (alive)
        g_live.insert(p);
    else
        g_live.erase(p);
}

class CTestItem : public CObject {
    DECLARE_SERIAL(CTestItem)
public:
    explicit CTestItem(const char* text = "") : m_text(text) { Track(this, true); }
    ~CTestItem() override { Track(this, false); }
    void Serialize(CArchive& ar) override {
        if (ar.IsStoring())
            ar << m_text;
        else
            ar >> m_text;
    }
    CString m_text;
};
IMPLEMENT_SERIAL(CTestItem, CObject, 1)

class CTestOther : public CObject {
    DECLARE_SERIAL(CTestOther)
};
IMPLEMENT_SERIAL(CTestOther, CObject, 1)

// Owns its children; m_pPeer is a back reference into them.
class CTestNode : public CObject {
    DECLARE_SERIAL(CTestNode)
public:
    CTestNode() { Track(this, true); }
    ~CTestNode() override {
        if (g_nodesOwnChildren)
            for (int i = 0; i < m_children.GetSize(); ++i) delete m_children[i];
        Track(this, false);
    }
    void Serialize(CArchive& ar) override {
        if (ar.IsStoring()) {
            ar << m_name << m_time;
        } else {
            ar >> m_name >> m_time;
            m_children.RemoveAll();
        }
        m_words.Serialize(ar);
        m_strings.Serialize(ar);
        m_children.Serialize(ar);
        if (ar.IsLoading())
            m_pPeer = ar.ReadObject(nullptr);  // the peer comes after
        else
            ar << m_pPeer;
    }
    CString m_name;
    CTime m_time;
    CWordArray m_words;
    CStringArray m_strings;
    CObArray m_children;
    CObject* m_pPeer = nullptr;
};
IMPLEMENT_SERIAL(CTestNode, CObject, 2)

class CTestThrowing : public CObject {
    DECLARE_SERIAL(CTestThrowing)
public:
    CTestThrowing() { Track(this, true); }
    ~CTestThrowing() override { Track(this, false); }
    void Serialize(CArchive& ar) override {
        if (ar.IsLoading()) AfxThrowArchiveException(CArchiveException::genericException);
    }
};
IMPLEMENT_SERIAL(CTestThrowing, CObject, 1)

class CTestVersioned : public CObject {
    DECLARE_SERIAL(CTestVersioned)
public:
    void Serialize(CArchive& ar) override {
        if (ar.IsLoading()) m_schemaSeen = ar.GetObjectSchema();
    }
    UINT m_schemaSeen = 0;
};
IMPLEMENT_SERIAL(CTestVersioned, CObject, VERSIONABLE_SCHEMA | 2)

std::string Bytes(std::initializer_list<int> values) {
    return std::string(values.begin(), values.end());
}

TEST(ArchiveBytes, CountsSwitchToThirtyTwoBitsAtFFFF) {
    std::string bytes = Store([](CArchive& ar) {
        for (DWORD count : {0u, 0xFFFEu, 0xFFFFu, 0x12345u}) ar.WriteCount(count);
    });
    EXPECT_EQ(Hex(bytes), "00 00 fe ff ff ff ff ff 00 00 ff ff 45 23 01 00");
    LoadBytes(bytes, [](CArchive& ar) {
        for (DWORD count : {0u, 0xFFFEu, 0xFFFFu, 0x12345u}) EXPECT_EQ(ar.ReadCount(), count);
    });
}

TEST(ArchiveBytes, StringLengthPrefixes) {
    auto prefix = [](size_t length, size_t prefixBytes) {
        std::string bytes =
            Store([&](CArchive& ar) { ar << CString('x', static_cast<int>(length)); });
        EXPECT_EQ(bytes.size(), length + prefixBytes);
        std::string back;
        LoadBytes(bytes, [&](CArchive& ar) {
            CString s;
            ar >> s;
            back = s.str();
        });
        EXPECT_EQ(back, std::string(length, 'x'));
        return Hex(bytes.substr(0, prefixBytes));
    };
    EXPECT_EQ(prefix(0, 1), "00");
    EXPECT_EQ(prefix(254, 1), "fe");
    EXPECT_EQ(prefix(255, 3), "ff ff 00");
    EXPECT_EQ(prefix(65533, 3), "ff fd ff");
    EXPECT_EQ(prefix(65534, 7), "ff ff ff fe ff 00 00");
    EXPECT_EQ(prefix(65535, 7), "ff ff ff ff ff 00 00");
    EXPECT_EQ(Hex(Store([](CArchive& ar) { ar << "ab"; })), "02 61 62");
}

TEST(ArchiveBytes, ScalarsAreLittleEndianAndTimesTakeFourUnsignedBytes) {
    std::string bytes = Store([](CArchive& ar) {
        ar << static_cast<BYTE>(1) << static_cast<WORD>(0x0203) << static_cast<DWORD>(0x04050607)
           << static_cast<LONGLONG>(-2) << true << 1.0 << CTime(0xF0000000LL);
    });
    EXPECT_EQ(
        Hex(bytes),
        "01 03 02 07 06 05 04 fe ff ff ff ff ff ff ff 01 00 00 00 00 00 00 f0 3f 00 00 00 f0");
    LoadBytes(bytes, [](CArchive& ar) {
        BYTE b;
        WORD w;
        DWORD d;
        LONGLONG ll;
        bool flag;
        double x;
        CTime t;
        ar >> b >> w >> d >> ll >> flag >> x >> t;
        // 2097: the time is read back unsigned.
        EXPECT_EQ(std::tuple(b, w, d, ll, flag, x, t.GetTime()),
                  std::tuple(BYTE(1), WORD(0x0203), DWORD(0x04050607), LONGLONG(-2), true, 1.0,
                             __time64_t(0xF0000000LL)));
    });
}

TEST(ArchiveBytes, CollectionsWriteTheCountThenTheElements) {
    CStringArray strings;
    strings.Add("ab");
    strings.Add("");
    EXPECT_EQ(Hex(Store([&](CArchive& ar) { strings.Serialize(ar); })), "02 00 02 61 62 00");
    CWordArray words;
    words.Add(1);
    words.Add(0xABCD);
    EXPECT_EQ(Hex(Store([&](CArchive& ar) { words.Serialize(ar); })), "02 00 01 00 cd ab");
    CTestItem item("ab");
    CObArray objects;
    objects.Add(&item);
    objects.Add(nullptr);
    objects.Add(&item);
    EXPECT_EQ(Hex(Store([&](CArchive& ar) { objects.Serialize(ar); })),
              "03 00 ff ff 01 00 09 00 43 54 65 73 74 49 74 65 6d 02 61 62 00 00 02 00");
}

TEST(ArchiveBytes, ClassTagsAndBackReferencesShareOneCounter) {
    CTestItem a("a"), b("b");
    CTestOther other;
    std::string bytes = Store([&](CArchive& ar) {
        ar << &a << &b << &other << &a << static_cast<CObject*>(nullptr) << &b;
    });
    // a: new class (index 1), object 2; b: class ref 0x8001, object 3; other: new class 4,
    // object 5; then references to 2 and 3.
    EXPECT_EQ(Hex(bytes),
              "ff ff 01 00 09 00 43 54 65 73 74 49 74 65 6d 01 61 "
              "01 80 01 62 "
              "ff ff 01 00 0a 00 43 54 65 73 74 4f 74 68 65 72 "
              "02 00 00 00 03 00");
    LoadBytes(bytes, [](CArchive& ar) {
        CObject* objs[6];
        for (CObject*& p : objs) ar >> p;
        EXPECT_EQ(
            static_cast<CTestItem*>(objs[0])->m_text + static_cast<CTestItem*>(objs[1])->m_text,
            "ab");
        EXPECT_TRUE(objs[2]->IsKindOf(RUNTIME_CLASS(CTestOther)));
        EXPECT_EQ((std::vector{objs[3], objs[4], objs[5]}),
                  (std::vector<CObject*>{objs[0], nullptr, objs[1]}));
        for (int i = 0; i < 3; ++i) delete objs[i];
    });
    EXPECT_EQ(g_alive, 2);
}

TEST(ArchiveBytes, IndexesFrom7FFFUseTheThirtyTwoBitEscape) {
    const int n = 0x8000;  // objects 2 .. 0x8001 after the class at 1
    std::vector<std::unique_ptr<CTestItem>> items;
    for (int i = 0; i < n; ++i) items.push_back(std::make_unique<CTestItem>());
    CTestOther late1, late2;
    std::string bytes = Store([&](CArchive& ar) {
        for (auto& item : items) ar << item.get();
        ar << items[0].get() << items[0x7FFD].get()
           << items[0x7FFE].get();  // indexes 2, 7FFF, 8000
        ar << &late1 << &late2;     // class 0x8002, objects 0x8003 and 0x8004
        ar << &late1;
    });
    std::string tail = bytes.substr(bytes.size() - 42);
    EXPECT_EQ(Hex(tail),
              "02 00 "
              "ff 7f ff 7f 00 00 "
              "ff 7f 00 80 00 00 "
              "ff ff 01 00 0a 00 43 54 65 73 74 4f 74 68 65 72 "
              "ff 7f 02 80 00 80 "
              "ff 7f 03 80 00 00");
    LoadBytes(bytes, [&](CArchive& ar) {
        std::vector<CObject*> read(n);
        for (CObject*& p : read) p = ar.ReadObject(RUNTIME_CLASS(CTestItem));
        for (int i : {0, 0x7FFD, 0x7FFE}) EXPECT_EQ(ar.ReadObject(nullptr), read[i]);
        CObject* l1 = ar.ReadObject(RUNTIME_CLASS(CTestOther));
        CObject* l2 = ar.ReadObject(RUNTIME_CLASS(CTestOther));
        EXPECT_NE(l1, l2);
        EXPECT_EQ(ar.ReadObject(nullptr), l1);
        delete l1;
        delete l2;
        for (CObject* p : read) delete p;
    });
}

std::string LoadText(const std::string& bytes) {
    CString s;
    LoadBytes(bytes, [&](CArchive& ar) { ar >> s; });
    return s.str();
}

TEST(ArchiveRead, WideStringsConvertToTheAnsiCodePage) {
    ksttest::CodePageScope pages(1251, 866);
    EXPECT_EQ(LoadText(Bytes({0xff, 0xfe, 0xff, 3, 'a', 0, 'b', 0, 'c', 0})), "abc");
    EXPECT_EQ(LoadText(Bytes({0xff, 0xfe, 0xff, 2, 0x1f, 0x04, 0x4f, 0x04})), "\xCF\xFF");
    kst::SetCodePages(65001, 866);
    // A long wide string: the word length after the marker; "я" is two bytes in UTF-8.
    std::string bytes = Bytes({0xff, 0xfe, 0xff, 0xff, 0x2c, 0x01});
    for (int i = 0; i < 300; ++i) bytes += Bytes({0x4f, 0x04});
    std::string ya;
    for (int i = 0; i < 300; ++i) ya += "я";
    EXPECT_EQ(LoadText(bytes), ya);
}

TEST(ArchiveRead, HostObjectTreesComeBackWhole) {
    auto node = std::make_unique<CTestNode>();
    node->m_name = "root";
    node->m_time = CTime(1234567890);
    node->m_words.Add(7);
    node->m_strings.Add("Привет");
    node->m_children.Add(new CTestItem("child"));
    node->m_children.Add(new CTestNode);
    node->m_pPeer = node->m_children[0];
    std::string bytes = Store([&](CArchive& ar) { ar << node.get(); });
    LoadBytes(bytes, [](CArchive& ar) {
        CTestNode* back = nullptr;
        ar >> back;
        ASSERT_NE(back, nullptr);
        ASSERT_EQ(back->m_children.GetSize(), 2);
        EXPECT_EQ(
            std::tuple(back->m_name, back->m_time.GetTime(), back->m_words[0], back->m_strings[0],
                       static_cast<CTestItem*>(back->m_children[0])->m_text),
            std::tuple(CString("root"), __time64_t(1234567890), WORD(7), CString("Привет"),
                       CString("child")));
        EXPECT_EQ(back->m_pPeer, back->m_children[0]);
        delete back;
    });
    node.reset();
    EXPECT_EQ(g_alive, 0);
}

TEST(ArchiveRead, ClassesSchemasAndIndexesAreChecked) {
    void (*readAny)(CArchive&) = [](CArchive& ar) { delete ar.ReadObject(nullptr); };
    // Index 1 is a class, not an object; index 2 an object, not a class.
    void (*readTwo)(CArchive&) = [](CArchive& ar) {
        std::unique_ptr<CObject> first(ar.ReadObject(nullptr));
        ar.ReadObject(nullptr);
    };
    std::string item = NewClassTag("CTestItem", 1) + "\x01" + "a";
    const std::tuple<std::string, void (*)(CArchive&), int> cases[] = {
        {NewClassTag("CNoSuchClass", 1), readAny, CArchiveException::badClass},
        {NewClassTag("CTestItem", 2) + "\x01" + "a", readAny, CArchiveException::badSchema},
        {item, [](CArchive& ar) { ar.ReadObject(RUNTIME_CLASS(CTestOther)); },
         CArchiveException::badClass},
        // A class that is registered but cannot be created or stored.
        {NewClassTag("CException", 0xFFFF), readAny, CArchiveException::badClass},
        {Bytes({5, 0}), readAny, CArchiveException::badIndex},
        {Bytes({5, 0x80}), readAny, CArchiveException::badIndex},
        {Bytes({0xff, 0x7f, 9, 0, 0, 0}), readAny, CArchiveException::badIndex},
        {item + Bytes({1, 0}), readTwo, CArchiveException::badIndex},
        {item + Bytes({2, 0x80}), readTwo, CArchiveException::badIndex},
        {Bytes({1}), [](CArchive& ar) { ar.ReadCount(); }, CArchiveException::endOfFile},
        // An object whose Serialize throws is deleted.
        {NewClassTag("CTestThrowing", 1), readAny, CArchiveException::genericException},
    };
    for (const auto& [bytes, read, cause] : cases)
        EXPECT_EQ(LoadCause(bytes, read), cause) << Hex(bytes);
    EXPECT_EQ(g_alive, 0);
    // Versionable schemas pass and tell their number; the class tag keeps only the number.
    LoadBytes(NewClassTag("CTestVersioned", 1), [](CArchive& ar) {
        std::unique_ptr<CObject> p(ar.ReadObject(nullptr));
        EXPECT_EQ(static_cast<CTestVersioned*>(p.get())->m_schemaSeen, 1u);
    });
    CTestVersioned v;
    EXPECT_EQ(Hex(Store([&](CArchive& ar) { ar << &v; }).substr(0, 4)), "ff ff 02 00");
}

template <class T>
void Serialize(CArchive& ar) {
    T collection;
    collection.Serialize(ar);
}

void ReadString(CArchive& ar) {
    CString s;
    ar >> s;
}

TEST(ArchiveRead, HugeCountsAndLengthsEndAtTheEndOfTheData) {
    std::string hugeCount = Bytes({0xff, 0xff, 0xff, 0xff, 0xff, 0xff}) + std::string(10, '\x01');
    std::string bigCount = Bytes({0xff, 0xff, 0xff, 0xff, 0xff, 0x7f}) + std::string(10, '\x01');
    std::string hugeString = Bytes({0xff, 0xff, 0xff, 0, 0, 0, 0x80}) + std::string(13, 'x');
    std::string hugeWide = Bytes({0xff, 0xfe, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}) + "xx";
    const std::tuple<std::string, void (*)(CArchive&), int> cases[] = {
        {hugeCount, Serialize<CStringArray>, CArchiveException::genericException},
        {bigCount, Serialize<CWordArray>, CArchiveException::endOfFile},
        {bigCount, Serialize<CObArray>, CArchiveException::badIndex},  // 0x0101: nothing
        {bigCount, Serialize<CStringList>, CArchiveException::endOfFile},
        {hugeString, ReadString, CArchiveException::endOfFile},
        {hugeWide, ReadString, CArchiveException::endOfFile},
    };
    for (const auto& [bytes, read, cause] : cases)
        EXPECT_EQ(LoadCause(bytes, read), cause) << Hex(bytes);
}

std::string SampleArchive() {
    CTestNode node;
    node.m_name = "sample";
    node.m_words.Add(1);
    node.m_words.Add(2);
    node.m_strings.Add("one");
    node.m_strings.Add(CString('z', 300));
    node.m_children.Add(new CTestItem("kid"));
    node.m_children.Add(nullptr);
    auto* inner = new CTestNode;
    inner->m_children.Add(new CTestItem("grandchild"));
    node.m_children.Add(inner);
    node.m_pPeer = inner;
    return Store([&](CArchive& ar) {
        ar << &node;
        CMapStringToString map;
        map["k"] = "v";
        map.Serialize(ar);
    });
}

void ReadSample(CArchive& ar) {
    CTestNode* p = nullptr;
    ar >> p;
    CMapStringToString map;
    map.Serialize(ar);
}

// Loads without ownership between nodes, then deletes what the load left.
int LoadHostile(const std::string& bytes) {
    g_nodesOwnChildren = false;
    int cause = LoadCause(bytes, ReadSample);
    while (!g_live.empty()) delete *g_live.begin();
    g_nodesOwnChildren = true;
    return cause;
}

// Every truncation ends in an archive exception; garbled archives in any outcome but a crash,
// a hang or a leak.
TEST(ArchiveHostileInput, TruncatedAndGarbledArchivesEndCleanly) {
    std::string full = SampleArchive();
    EXPECT_EQ(LoadHostile(full), -1);
    for (size_t length = 0; length < full.size(); ++length)
        ASSERT_NE(LoadHostile(full.substr(0, length)), -1) << "prefix of " << length << " bytes";
    std::mt19937 random(20261205);
    for (int round = 0; round < 1500; ++round) {
        std::string bytes = full;
        int flips = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < flips; ++i)
            bytes[random() % bytes.size()] = static_cast<char>(random() & 0xFF);
        LoadHostile(bytes);
    }
    EXPECT_EQ(g_alive, 0);
}

TEST(ArchiveBuffering, LargeBlocksLinesAndModes) {
    std::string block(100000, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7);
    std::string bytes = Store([&](CArchive& ar) {
        ar << static_cast<BYTE>(9);
        ar.Write(block.data(), static_cast<UINT>(block.size()));
        ar.WriteString("first line\r\nsecond\n\nlast");
    });
    ASSERT_EQ(bytes.size(), 1 + block.size() + 24);
    LoadBytes(bytes, [&](CArchive& ar) {
        BYTE b;
        ar >> b;
        std::string back(block.size(), '\0');
        EXPECT_EQ(ar.Read(back.data(), static_cast<UINT>(back.size())), block.size());
        EXPECT_EQ(back, block);
        CString line;
        for (const char* expected : {"first line", "second", "", "last"}) {
            EXPECT_TRUE(ar.ReadString(line));
            EXPECT_EQ(line, expected);
        }
        EXPECT_FALSE(ar.ReadString(line));
        char small[8];
        EXPECT_EQ(ar.Read(small, 8), 0u);
    });
    EXPECT_EQ(LoadCause("abc", [](CArchive& ar) { ar << 1; }), CArchiveException::readOnly);
    int i;
    EXPECT_EQ(ksttest::ArchiveCause([&] { Store([&](CArchive& ar) { ar >> i; }); }),
              CArchiveException::writeOnly);
    // Flush while loading puts the file back where reading stands.
    LoadBytes("0123456789", [](CArchive& ar) {
        char two[2];
        ar.Read(two, 2);
        ar.Flush();
        EXPECT_EQ(ar.GetFile()->GetPosition(), 2u);
    });
    // Abort drops what is buffered.
    std::string path = ksttest::ScratchDir() + "/abort.bin";
    {
        CFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        ar << 12345;
        ar.Abort();
        EXPECT_EQ(ar.GetFile(), nullptr);
    }
    EXPECT_EQ(ksttest::ReadFile(path), "");
}

}  // namespace

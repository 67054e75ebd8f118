// Collections: the framework's growth rule, its string hash and bucket order, and the
// lookup index that keeps large maps fast without changing that order.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

#include "KstCollections.h"

namespace {

template <class A>
struct Probe : A {
    int Allocated() const { return this->m_nMaxSize; }
};

// CPU seconds of this thread: the machine is shared.
double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double SecondsToAdd(int count) {
    double start = CpuSeconds();
    CPtrArray array;
    for (int i = 0; i < count; ++i) array.Add(&array);
    EXPECT_EQ(array.GetSize(), count);
    return CpuSeconds() - start;
}

std::vector<std::string> Traverse(const CMapStringToString& map) {
    std::vector<std::string> keys;
    CString key, value;
    for (POSITION pos = map.GetStartPosition(); pos;) {
        map.GetNextAssoc(pos, key, value);
        keys.push_back(key.str());
    }
    return keys;
}

TEST(ArrayGrowth, GrowByIsKeptUnlessMinusOneAndLargeJumpsTakeTheNewSize) {
    Probe<CStringArray> a;
    std::vector<int> allocated;
    a.SetSize(2, 10);
    // -1 keeps the step of 10; past allocation + step: exactly the new size; shrinking keeps
    // the allocation; zero frees it.
    for (int size : {3, 100, 50, 0}) {
        a.SetSize(size);
        allocated.push_back(a.Allocated());
    }
    EXPECT_EQ(allocated, (std::vector{12, 100, 100, 0}));
    EXPECT_EQ(a.GetData(), nullptr);
}

// The allocation a caller sees follows the rule add by add, although the block under it grows
// ahead of it; FreeExtra brings both down to the size.
TEST(ArrayGrowth, AllocationFollowsTheRuleOnEveryAdd) {
    Probe<CPtrArray> a;
    int expected = 0;
    for (int size = 0; size < 30000; ++size) {
        a.Add(nullptr);
        if (size + 1 > expected)
            expected =
                expected == 0 ? 1 : std::max(expected + std::clamp(size / 8, 4, 1024), size + 1);
        ASSERT_EQ(a.Allocated(), expected) << "after " << size + 1 << " adds";
    }
    a.FreeExtra();
    EXPECT_EQ(a.Allocated(), 30000);
    a.Add(nullptr);
    EXPECT_EQ(std::pair(a.Allocated(), a.GetUpperBound()), std::pair(30000 + 1024, 30000));
}

// 10^7 appends cost about ten times 10^6 (a copy of the whole array every 1024 appends made
// it a hundred times), and seconds, not minutes, even under the sanitizers.
TEST(ArrayGrowth, TenMillionAddsTakeLinearTime) {
    double million = SecondsToAdd(1000000);
    double tenMillion = SecondsToAdd(10000000);
    EXPECT_LT(tenMillion, 30 * std::max(million, 0.002)) << million << " s for 10^6";
    EXPECT_LT(tenMillion, 20.0);
}

TEST(ArrayOperations, InsertRemoveAppendCopyAndSetAtGrow) {
    CStringArray a;
    a.Add("a");
    a.Add("d");
    a.InsertAt(1, "b", 2);  // a b b d
    a.SetAt(2, "c");
    auto all = [](const CStringArray& x) {
        std::string text;
        for (int i = 0; i < x.GetSize(); ++i) text += x[i].str() + ",";
        return text;
    };
    EXPECT_EQ(all(a), "a,b,c,d,");
    a.RemoveAt(1, 100);  // stops at the end
    a.RemoveAt(-1);
    a.RemoveAt(5);
    EXPECT_EQ(all(a), "a,");
    a.SetAtGrow(3, "z");  // gap filled with empty strings
    EXPECT_EQ(all(a), "a,,,z,");
    CStringArray b;
    b.Add("q");
    EXPECT_EQ(b.Append(a), 1);
    EXPECT_EQ(all(b), "q,a,,,z,");
    b.Copy(a);
    EXPECT_EQ(all(b), "a,,,z,");
    CStringArray c;
    c.Add("x");
    c.InsertAt(3, "y");  // past the end: grows to the index
    c.InsertAt(0, &b);
    EXPECT_EQ(all(c), "a,,,z,x,,,y,");
}

TEST(ArrayOperations, AddingAnOwnElementSurvivesTheMove) {
    CStringArray a;
    a.SetSize(4);
    a[0] = CString('v', 100);
    for (int i = 0; i < 50; ++i) a.Add(a[0]);  // the argument lives in the moving block
    EXPECT_EQ(a[53], CString('v', 100));

    CWordArray w;
    w.Add(7);
    for (int i = 0; i < 20; ++i) w.Add(w[0]);
    EXPECT_EQ(w[20], 7);
}

TEST(HashKey, ThirtyThreeTimesSignedBytes) {
    EXPECT_EQ(HashKey<LPCTSTR>(""), 0u);
    EXPECT_EQ(HashKey<LPCTSTR>("a"), 97u);
    EXPECT_EQ(HashKey<LPCTSTR>("ab"), 97u * 33 + 98);
    EXPECT_EQ(HashKey<LPCTSTR>("\xC0"), 0xFFFFFFC0u);  // bytes above 0x7F count negative
    EXPECT_EQ(HashKey<LPCTSTR>("\xC0\xC1"), 0xFFFFFFC0u * 33u + 0xFFFFFFC1u);
    EXPECT_EQ(HashKey<const CString&>(CString("ab")), 3299u);
    // Seven letters already wrap: 33^6 * 97 alone exceeds 2^32.
    EXPECT_EQ(HashKey<LPCTSTR>("abcdefg"), 0x16A29DBCu);
}

TEST(MapOrder, SeventeenBucketsNewestFirstInEachBucket) {
    // a=97 -> 12, b=98 -> 13, q=113 -> 11, r=114 -> 12, "ab"=3299 -> 1.
    CMapStringToString map;
    EXPECT_EQ(map.GetHashTableSize(), 17u);
    for (const char* k : {"a", "b", "q", "r", "ab"}) map[k] = k;
    EXPECT_EQ(Traverse(map), (std::vector<std::string>{"ab", "q", "r", "a", "b"}));

    map.RemoveKey("r");
    EXPECT_EQ(Traverse(map), (std::vector<std::string>{"ab", "q", "a", "b"}));
    map.SetAt("r", "again");  // re-inserted at the front of its bucket
    EXPECT_EQ(Traverse(map), (std::vector<std::string>{"ab", "q", "r", "a", "b"}));
    map["a"] = "changed";  // replacing a value keeps the place
    EXPECT_EQ(Traverse(map), (std::vector<std::string>{"ab", "q", "r", "a", "b"}));
}

TEST(MapOrder, InitHashTableChangesTheBucketsOfAnEmptyMapOnly) {
    CMapStringToString map;
    map.InitHashTable(7);
    for (const char* k : {"a", "b", "q"}) map[k] = k;  // 97%7=6, 98%7=0, 113%7=1
    EXPECT_EQ(Traverse(map), (std::vector<std::string>{"b", "q", "a"}));
    map.InitHashTable(17);  // ignored: the map holds entries
    EXPECT_EQ(map.GetHashTableSize(), 7u);
    map.RemoveAll();
    EXPECT_EQ(map.GetStartPosition(), nullptr);
}

TEST(MapOperations, CyrillicKeysAreExactAndCaseSensitive) {
    CMapStringToString map;
    map["Ключ"] = "upper";
    map["ключ"] = "lower";
    map["\xCA\xEB\xFE\xF7"] = "cp1251";  // the same word in the Cyrillic ANSI page
    CString value;
    std::string found;
    for (const char* key : {"Ключ", "\xCA\xEB\xFE\xF7", "КЛЮЧ"})
        found += map.Lookup(key, value) ? value.str() + " " : "- ";
    EXPECT_EQ(found, "upper cp1251 - ");
    EXPECT_EQ((std::vector<int>{map.RemoveKey("ключ"), map.RemoveKey("ключ"), map.GetCount()}),
              (std::vector{1, 0, 2}));
}

TEST(MapOperations, LargeMapKeepsTheFrameworkOrderThroughInsertsAndRemovals) {
    CMapStringToString map;
    const int n = 20000;
    for (int i = 0; i < n; ++i) map[CString(std::to_string(i))] = CString(std::to_string(i * 2));
    for (int i = 0; i < n; i += 2) ASSERT_TRUE(map.RemoveKey(CString(std::to_string(i))));
    ASSERT_EQ(map.GetCount(), n / 2);
    CString value;
    for (int i = 0; i < n; ++i) {
        bool found = map.Lookup(CString(std::to_string(i)), value);
        ASSERT_EQ(found, i % 2 == 1) << i;
        if (found) {
            ASSERT_EQ(value, CString(std::to_string(i * 2)));
        }
    }
    // Bucket by bucket; within a bucket the later insertion comes first.
    std::vector<std::string> keys = Traverse(map);
    ASSERT_EQ(keys.size(), static_cast<size_t>(n / 2));
    for (size_t i = 1; i < keys.size(); ++i) {
        UINT prevBucket = HashKey<LPCTSTR>(keys[i - 1].c_str()) % 17;
        UINT bucket = HashKey<LPCTSTR>(keys[i].c_str()) % 17;
        ASSERT_LE(prevBucket, bucket);
        if (prevBucket == bucket) {
            ASSERT_GT(std::stoi(keys[i - 1]), std::stoi(keys[i]));
        }
    }
}

TEST(MapOperations, EmptyingTheMapFreesItAndItStartsAgain) {
    CMapStringToOb map;
    CObject* value = &map;
    map.SetAt("k", nullptr);
    EXPECT_TRUE(map.Lookup("k", value) && value == nullptr);
    map.RemoveKey("k");
    EXPECT_TRUE(map.IsEmpty() && map.GetStartPosition() == nullptr);
    map["j"] = nullptr;
    EXPECT_EQ(map.GetCount(), 1);
}

TEST(Lists, HeadTailInsertFindAndRemove) {
    CStringList list;
    list.AddTail("b");
    list.AddHead("a");
    POSITION c = list.AddTail("d");
    list.InsertBefore(c, "c");
    list.InsertAfter(c, "e");
    ASSERT_EQ(list.GetCount(), 5);
    std::string all;
    for (POSITION pos = list.GetHeadPosition(); pos;) all += list.GetNext(pos).str();
    for (POSITION pos = list.GetTailPosition(); pos;) all += list.GetPrev(pos).str();
    EXPECT_EQ(all, "abcdeedcba");

    POSITION found = list.Find("c");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ((std::vector{list.FindIndex(2), list.Find("c", found)}),
              (std::vector{found, POSITION()}));
    list.RemoveAt(found);
    // Braces evaluate in order.
    EXPECT_EQ((std::vector<CString>{list.RemoveHead(), list.RemoveTail(), list.GetHead(),
                                    list.GetTail()}),
              (std::vector<CString>{"a", "e", "b", "d"}));
    EXPECT_EQ(list.FindIndex(2), nullptr);
    list.RemoveAll();
    EXPECT_TRUE(list.IsEmpty() && list.GetHeadPosition() == nullptr);
}

TEST(Templates, IntegerKeysAndValueTypes) {
    CMap<int, int, CString, const CString&> map;
    for (int i = 0; i < 100; ++i) map[i] = CString(std::to_string(i));
    CString value;
    EXPECT_TRUE(map.Lookup(42, value) && value == "42");
    EXPECT_EQ(HashKey<int>(0x120), 0x12u);

    CArray<double, double> values;
    values.Add(1.5);
    values.InsertAt(0, 0.5);
    EXPECT_EQ(values[0] + values[1], 2.0);
}

}  // namespace

// Containers nested 100,000 deep: built in code they are destroyed without a stack overflow;
// loaded from an archive they fail with the archive exception past the nesting limit and leak
// nothing; loaded from XML they stop at the XML nesting limit. Each case also runs on a thread
// of 256 KB of stack.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "KstProperties.h"
#include "KstWin32.h"
#include "KstXML.h"
#include "ArchiveFiles.h"
#include "props/internal/OwnedObjects.h"

using ksttest::ArchiveCause;
using ksttest::LoadBytes;

namespace {

constexpr int kDeep = 100000;

// Runs fn on a new thread of 256 KB of stack and waits for it.
void OnSmallStack(const std::function<void()>& fn) {
    auto call = [](LPVOID p) -> DWORD {
        (*static_cast<const std::function<void()>*>(p))();
        return 0;
    };
    HANDLE thread = CreateThread(nullptr, 256 * 1024, call, const_cast<std::function<void()>*>(&fn),
                                 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
    CloseHandle(thread);
}

void Put(CObjectP* parent, CObjectP* child) {
    if (auto* a = dynamic_cast<CObjectPArrayPtr*>(parent)) a->Add(child);
    if (auto* l = dynamic_cast<CObjectPListPtr*>(parent)) l->AddTail(child);
    if (auto* s = dynamic_cast<CPropertySet*>(parent)) s->SetAt("k", child);
}

// levels containers, each the only element of the one above; make(i) makes level i.
template <class Make>
std::unique_ptr<CObjectP> Nest(int levels, Make make) {
    std::unique_ptr<CObjectP> top(make(0));
    for (CObjectP *at = top.get(), *inner; levels-- > 1; at = inner) Put(at, inner = make(levels));
    return top;
}

void BuildAndDestroy() {
    Nest(kDeep, [](int) { return new CObjectPArrayPtr; }).reset();
    Nest(kDeep, [](int) { return new CObjectPListPtr; }).reset();
    Nest(kDeep, [](int) { return new CPropertySet; }).reset();
    Nest(kDeep,
         [](int i) -> CObjectP* {  // mixed: array, list, set, array, ...
             return i % 3 == 0   ? static_cast<CObjectP*>(new CObjectPArrayPtr)
                    : i % 3 == 1 ? static_cast<CObjectP*>(new CObjectPListPtr)
                                 : static_cast<CObjectP*>(new CPropertySet);
         })
        .reset();
    // RemoveAt of a deep element goes the same way.
    auto top = Nest(kDeep, [](int) { return new CObjectPArrayPtr; });
    auto* array = dynamic_cast<CObjectPArrayPtr*>(top.get());
    array->RemoveAt(0);
    EXPECT_EQ(array->GetSize(), 0);
}

TEST(Depth, DeepContainersBuiltInCodeAreDestroyedOnASmallStack) {
    OnSmallStack(BuildAndDestroy);
}

// The archive of levels arrays nested: the top's class tag, then per level a count of one and
// a reference to the class (0x8001), and the innermost array's count of zero.
std::string NestedArchive(int levels) {
    std::string bytes = ksttest::NewClassTag("CObjectPArrayPtr", 1);
    bytes.reserve(bytes.size() + 4 * size_t(levels));
    for (int i = 1; i < levels; ++i) bytes += std::string("\x01\x00\x01\x80", 4);
    return bytes + std::string(2, '\0');
}

// The arrays in the chain from top down, top included.
int DepthOf(const CObjectPArrayPtr& top) {
    int depth = 0;
    for (const CObjectPArrayPtr* at = &top; at; ++depth)
        at = at->GetSize() == 1 ? dynamic_cast<const CObjectPArrayPtr*>(at->GetAt(0)) : nullptr;
    return depth;
}

// Loads the archive of levels nested arrays; answers the archive exception's cause (-1: none).
int LoadNested(int levels, int* depth = nullptr) {
    std::string bytes = NestedArchive(levels);
    CObject* loaded = nullptr;
    int cause = ArchiveCause(
        [&] { LoadBytes(bytes, [&](CArchive& ar) { loaded = ar.ReadObject(nullptr); }); });
    std::unique_ptr<CObject> owned(loaded);
    if (depth && loaded) *depth = DepthOf(*dynamic_cast<CObjectPArrayPtr*>(loaded));
    return cause;
}

void LoadAtAndPastTheLimit() {
    const int limit = kst::props::kMaxLoadNesting;
    int depth = 0;
    EXPECT_EQ(LoadNested(limit + 1, &depth), -1);  // the top object and the limit below it
    EXPECT_EQ(depth, limit + 1);
    EXPECT_EQ(LoadNested(limit + 2), CArchiveException::genericException);
    EXPECT_EQ(LoadNested(kDeep), CArchiveException::genericException);
}

TEST(Depth, ArchivesLoadDownToTheLimitAndFailBeyondOnASmallStack) {
    auto two = Nest(2, [](int) { return new CObjectPArrayPtr; });
    EXPECT_EQ(ksttest::Store([&](CArchive& ar) { ar.WriteObject(two.get()); }), NestedArchive(2));
    OnSmallStack(LoadAtAndPastTheLimit);
}

// A document of levels nested array elements, built through the DOM (no parser limit applies),
// loaded into an array: down to the limit, or (fewer than the limit) to where the stack keeps
// its reserve.
void LoadNestedXml(int levels, bool fullDepth) {
    CXMLDocument document;
    ASSERT_EQ(DomCreateDocument(document.GetInterface()), S_OK);
    xmlDoc* doc = *document.GetInterface();
    {
        // Every element keeps its wrapper until the load is done.
        std::vector<std::unique_ptr<CXMLNode>> nodes;
        for (int i = 0; i < levels; ++i) {
            nodes.push_back(std::make_unique<CXMLNode>());
            ASSERT_TRUE(document.CreateElement("CObjectPArrayPtr", *nodes.back()));
            if (i == 0)
                ASSERT_EQ(DomPutDocumentElement(doc, *nodes.back()->GetInterface()), S_OK);
            else
                ASSERT_TRUE(nodes[i - 1]->AppendChild(*nodes.back()));
        }
        CObjectPArrayPtr array;
        array.SerializeXML(*nodes.front(), false);
        if (fullDepth)
            EXPECT_EQ(DepthOf(array), CXMLSupportInObject::kMaxNesting + 1);
        else
            EXPECT_GT(DepthOf(array), 50);
    }
    DomFreeDocument(doc);
}

TEST(Depth, XmlLoadsDownToItsLimit) {
    LoadNestedXml(kDeep, true);
    OnSmallStack([] { LoadNestedXml(kDeep, false); });
}

}  // namespace

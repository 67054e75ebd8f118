// The framework's collection templates: CArray, CList and CMap, with the helpers they call
// (HashKey, CompareElements, SerializeElements) and their growth, hash and archive rules.
//
// CMap keeps the framework's bucket chains (17 buckets unless InitHashTable says otherwise,
// a new entry at the front of its bucket, traversal from bucket 0), so traversal and the
// archive form come out in the framework's order. Lookups do not walk those chains: each
// entry is also linked into a lookup index keyed by the full 32-bit HashKey value, a
// power-of-two table that doubles as the map grows, so Lookup, SetAt, operator[] and
// RemoveKey stay O(1) with tens of thousands of entries. A derived class that wants its
// own traversal keeps calling GetStartPosition/GetNextAssoc and gets the framework's order
// unchanged; it needs nothing else to get the fast lookups.
#pragma once

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>

#include "KstArchive.h"
#include "KstExport.h"
#include "KstObject.h"
#include "KstString.h"
#include "KstWinTypes.h"

struct __POSITION {};
typedef __POSITION* POSITION;
#define BEFORE_START_POSITION (reinterpret_cast<POSITION>(static_cast<intptr_t>(-1)))

// The framework's string hash: h = h * 33 + c over the bytes taken as signed chars.
inline UINT HashStringKey(std::string_view key) {
    UINT nHash = 0;
    for (char ch : key)
        nHash = (nHash << 5) + nHash + static_cast<UINT>(static_cast<signed char>(ch));
    return nHash;
}

// Integers and pointers hash as their 32-bit value shifted right by 4.
template <class ARG_KEY>
inline UINT HashKey(ARG_KEY key) {
    if constexpr (std::is_pointer_v<ARG_KEY>)
        return static_cast<UINT>(reinterpret_cast<uintptr_t>(key)) >> 4;
    else
        return static_cast<DWORD>(key) >> 4;
}
template <>
inline UINT HashKey<LPCTSTR>(LPCTSTR key) {
    return HashStringKey(key ? std::string_view(key) : std::string_view());
}
template <>
inline UINT HashKey<LPTSTR>(LPTSTR key) {
    return HashStringKey(key ? std::string_view(key) : std::string_view());
}
template <>
inline UINT HashKey<const CString&>(const CString& key) {
    return HashStringKey(key.view());
}
template <>
inline UINT HashKey<CString>(CString key) {
    return HashStringKey(key.view());
}

template <class TYPE, class ARG_TYPE>
inline BOOL CompareElements(const TYPE* pElement1, const ARG_TYPE* pElement2) {
    return *pElement1 == *pElement2;
}

namespace kst::detail {

template <class T>
inline constexpr bool IsObjectPointer =
    std::is_pointer_v<T>&& std::is_base_of_v<CObject, std::remove_cv_t<std::remove_pointer_t<T>>>;

// Raw element bytes, in bounded calls; a short read is the end of the archive.
inline void SerializeRaw(CArchive& ar, void* data, size_t size) {
    auto bytes = static_cast<BYTE*>(data);
    while (size > 0) {
        UINT step = static_cast<UINT>(std::min<size_t>(size, 0x40000000u));
        if (ar.IsStoring())
            ar.Write(bytes, step);
        else if (ar.Read(bytes, step) != step)
            AfxThrowArchiveException(CArchiveException::endOfFile);
        bytes += step;
        size -= step;
    }
}

// Growth of a load that trusts a count read from the archive only as far as data arrives.
inline int NextLoadBatch(int done, DWORD_PTR total) {
    DWORD_PTR left = total - static_cast<DWORD_PTR>(done);
    return static_cast<int>(std::min<DWORD_PTR>(left, std::max(done, 1024)));
}

}  // namespace kst::detail

// Strings, times and numbers in their archive forms; CObject pointers as persistent objects
// (a loaded object of another class than the element type is deleted: badClass); other
// trivially copyable types as their bytes. Specialize for other element types.
template <class TYPE>
void SerializeElements(CArchive& ar, TYPE* pElements, INT_PTR nCount) {
    if constexpr (std::is_same_v<TYPE, CString> || std::is_same_v<TYPE, CTime>) {
        for (INT_PTR i = 0; i < nCount; ++i) {
            if (ar.IsStoring())
                ar << pElements[i];
            else
                ar >> pElements[i];
        }
    } else if constexpr (kst::detail::IsObjectPointer<TYPE>) {
        using Target = std::remove_cv_t<std::remove_pointer_t<TYPE>>;
        for (INT_PTR i = 0; i < nCount; ++i) {
            if (ar.IsStoring()) {
                ar.WriteObject(pElements[i]);
                continue;
            }
            CObject* pOb = ar.ReadObject(nullptr);
            Target* pTarget = dynamic_cast<Target*>(pOb);
            if (pOb && !pTarget) {
                delete pOb;
                AfxThrowArchiveException(CArchiveException::badClass);
            }
            pElements[i] = pTarget;
        }
    } else if constexpr (std::is_trivially_copyable_v<TYPE>) {
        kst::detail::SerializeRaw(ar, pElements, sizeof(TYPE) * static_cast<size_t>(nCount));
    } else {
        if (nCount > 0) AfxThrowArchiveException(CArchiveException::genericException);
    }
}

// A growable array. SetSize(n, growBy): growBy -1 keeps the step; when growing past the
// allocation, the step is growBy, or with 0 the size / 8 kept within 4..1024; the new
// allocation is the larger of (old allocation + step) and n. The first allocation is n.
//
// The allocation (m_nMaxSize) follows that rule as a derived class sees it, but the block
// under it may hold more slots: a growth past the block makes it half again as large as the
// rule asks, so that appends cost amortized constant time instead of a copy of the whole array
// every 1024 elements. The block's slot count sits in a header just before the elements;
// FreeExtra trims the block to the size.
template <class TYPE, class ARG_TYPE = const TYPE&>
class KST_API CArray : public CObject {
public:
    CArray() = default;
    CArray(const CArray&) = delete;
    CArray& operator=(const CArray&) = delete;
    ~CArray() override { SetSize(0, -1); }

    int GetSize() const { return m_nSize; }
    int GetCount() const { return m_nSize; }
    BOOL IsEmpty() const { return m_nSize == 0; }
    int GetUpperBound() const { return m_nSize - 1; }
    // A negative size is ignored.
    void SetSize(int nNewSize, int nGrowBy = -1);
    void FreeExtra();
    void RemoveAll() { SetSize(0, -1); }

    TYPE GetAt(int nIndex) const { return m_pData[nIndex]; }
    void SetAt(int nIndex, ARG_TYPE newElement) { m_pData[nIndex] = newElement; }
    TYPE& ElementAt(int nIndex) { return m_pData[nIndex]; }
    const TYPE& ElementAt(int nIndex) const { return m_pData[nIndex]; }
    const TYPE* GetData() const { return m_pData; }
    TYPE* GetData() { return m_pData; }
    TYPE operator[](int nIndex) const { return m_pData[nIndex]; }
    TYPE& operator[](int nIndex) { return m_pData[nIndex]; }

    void SetAtGrow(int nIndex, ARG_TYPE newElement);
    int Add(ARG_TYPE newElement) {
        int nIndex = m_nSize;
        if (nIndex < m_nMaxSize) {  // no growth: the element is built in its slot
            ::new (static_cast<void*>(m_pData + nIndex)) TYPE(newElement);
            m_nSize = nIndex + 1;
            return nIndex;
        }
        SetAtGrow(nIndex, newElement);
        return nIndex;
    }
    // Appends a copy of every element; answers the index of the first appended one.
    int Append(const CArray& src);
    void Copy(const CArray& src);

    void InsertAt(int nIndex, ARG_TYPE newElement, int nCount = 1);
    void InsertAt(int nStartIndex, CArray* pNewArray);
    // Out-of-range arguments change nothing; a count past the end stops at the end.
    void RemoveAt(int nIndex, int nCount = 1);

    void Serialize(CArchive& ar) override;

protected:
    TYPE* m_pData = nullptr;
    int m_nSize = 0;
    int m_nMaxSize = 0;
    int m_nGrowBy = 0;

private:
    struct alignas(TYPE) alignas(size_t) BlockHead {
        size_t nSlots;
    };
    static constexpr bool kOverAligned = alignof(BlockHead) > __STDCPP_DEFAULT_NEW_ALIGNMENT__;

    static TYPE* Allocate(int nSlots) {
        size_t bytes = sizeof(BlockHead) + sizeof(TYPE) * static_cast<size_t>(nSlots);
        void* raw;
        if constexpr (kOverAligned)
            raw = ::operator new(bytes, std::align_val_t(alignof(BlockHead)));
        else
            raw = ::operator new(bytes);
        ::new (raw) BlockHead{static_cast<size_t>(nSlots)};
        return reinterpret_cast<TYPE*>(static_cast<char*>(raw) + sizeof(BlockHead));
    }
    static BlockHead* HeadOf(TYPE* pData) {
        return reinterpret_cast<BlockHead*>(reinterpret_cast<char*>(pData) - sizeof(BlockHead));
    }
    static void Free(TYPE* pData) {
        if (!pData) return;
        if constexpr (kOverAligned)
            ::operator delete(HeadOf(pData), std::align_val_t(alignof(BlockHead)));
        else
            ::operator delete(HeadOf(pData));
    }
    int Slots() const { return m_pData ? static_cast<int>(HeadOf(m_pData)->nSlots) : 0; }
    // Moves the elements into a block of nSlots slots.
    void Reallocate(int nSlots);
    void LoadElements(CArchive& ar, DWORD_PTR nCount);
};

template <class TYPE, class ARG_TYPE>
void CArray<TYPE, ARG_TYPE>::Reallocate(int nSlots) {
    TYPE* pNewData = Allocate(nSlots);
    if constexpr (std::is_trivially_copyable_v<TYPE>) {
        if (m_nSize > 0) std::memcpy(static_cast<void*>(pNewData), m_pData, sizeof(TYPE) * m_nSize);
    } else {
        std::uninitialized_move(m_pData, m_pData + m_nSize, pNewData);
        std::destroy(m_pData, m_pData + m_nSize);
    }
    Free(m_pData);
    m_pData = pNewData;
}

template <class TYPE, class ARG_TYPE>
void CArray<TYPE, ARG_TYPE>::SetSize(int nNewSize, int nGrowBy) {
    if (nGrowBy != -1) m_nGrowBy = nGrowBy;
    if (nNewSize < 0) return;
    if (nNewSize == 0) {
        std::destroy(m_pData, m_pData + m_nSize);
        Free(m_pData);
        m_pData = nullptr;
        m_nSize = m_nMaxSize = 0;
        return;
    }
    if (!m_pData) {
        m_pData = Allocate(nNewSize);
        std::uninitialized_value_construct(m_pData, m_pData + nNewSize);
        m_nSize = m_nMaxSize = nNewSize;
        return;
    }
    if (nNewSize > m_nMaxSize) {
        int nStep = m_nGrowBy;
        if (nStep == 0) nStep = std::clamp(m_nSize / 8, 4, 1024);
        int nNewMax = static_cast<int>(
            std::min<long long>(std::max<long long>(1LL * m_nMaxSize + nStep, nNewSize), INT_MAX));
        int nSlots = Slots();
        if (nNewMax > nSlots)
            Reallocate(static_cast<int>(
                std::min<long long>(std::max<long long>(nNewMax, nSlots + nSlots / 2LL), INT_MAX)));
        m_nMaxSize = nNewMax;
    }
    if (nNewSize > m_nSize)
        std::uninitialized_value_construct(m_pData + m_nSize, m_pData + nNewSize);
    else
        std::destroy(m_pData + nNewSize, m_pData + m_nSize);
    m_nSize = nNewSize;
}

template <class TYPE, class ARG_TYPE>
void CArray<TYPE, ARG_TYPE>::FreeExtra() {
    if (m_nSize == 0) {
        SetSize(0, -1);
        return;
    }
    if (m_nSize == Slots()) return;
    Reallocate(m_nSize);
    m_nMaxSize = m_nSize;
}

template <class TYPE, class ARG_TYPE>
void CArray<TYPE, ARG_TYPE>::SetAtGrow(int nIndex, ARG_TYPE newElement) {
    if (nIndex < 0) return;
    if (nIndex >= m_nSize) {
        TYPE value(newElement);  // the argument may live in the block that is about to move
        SetSize(nIndex + 1, -1);
        m_pData[nIndex] = std::move(value);
        return;
    }
    m_pData[nIndex] = newElement;
}

template <class TYPE, class ARG_TYPE>
int CArray<TYPE, ARG_TYPE>::Append(const CArray& src) {
    int nOldSize = m_nSize;
    int nCount = src.m_nSize;
    SetSize(m_nSize + nCount, -1);
    std::copy(src.m_pData, src.m_pData + nCount, m_pData + nOldSize);
    return nOldSize;
}

template <class TYPE, class ARG_TYPE>
void CArray<TYPE, ARG_TYPE>::Copy(const CArray& src) {
    if (this == &src) return;
    SetSize(src.m_nSize, -1);
    std::copy(src.m_pData, src.m_pData + src.m_nSize, m_pData);
}

template <class TYPE, class ARG_TYPE>
void CArray<TYPE, ARG_TYPE>::InsertAt(int nIndex, ARG_TYPE newElement, int nCount) {
    if (nIndex < 0 || nCount <= 0) return;
    TYPE value(newElement);
    if (nIndex >= m_nSize) {
        SetSize(nIndex + nCount, -1);
    } else {
        int nOldSize = m_nSize;
        SetSize(m_nSize + nCount, -1);
        std::move_backward(m_pData + nIndex, m_pData + nOldSize, m_pData + nOldSize + nCount);
    }
    std::fill(m_pData + nIndex, m_pData + nIndex + nCount, value);
}

template <class TYPE, class ARG_TYPE>
void CArray<TYPE, ARG_TYPE>::InsertAt(int nStartIndex, CArray* pNewArray) {
    if (!pNewArray || pNewArray->GetSize() == 0 || nStartIndex < 0) return;
    if (pNewArray == this) {
        CArray copy;
        copy.Copy(*this);
        InsertAt(nStartIndex, &copy);
        return;
    }
    InsertAt(nStartIndex, pNewArray->GetAt(0), pNewArray->GetSize());
    for (int i = 0; i < pNewArray->GetSize(); ++i) SetAt(nStartIndex + i, pNewArray->GetAt(i));
}

template <class TYPE, class ARG_TYPE>
void CArray<TYPE, ARG_TYPE>::RemoveAt(int nIndex, int nCount) {
    if (nIndex < 0 || nCount <= 0 || nIndex >= m_nSize) return;
    nCount = std::min(nCount, m_nSize - nIndex);
    std::move(m_pData + nIndex + nCount, m_pData + m_nSize, m_pData + nIndex);
    std::destroy(m_pData + m_nSize - nCount, m_pData + m_nSize);
    m_nSize -= nCount;
}

template <class TYPE, class ARG_TYPE>
void CArray<TYPE, ARG_TYPE>::LoadElements(CArchive& ar, DWORD_PTR nCount) {
    if (nCount > 0x7FFFFFFF) AfxThrowArchiveException(CArchiveException::genericException);
    if (nCount == 0) {
        SetSize(0, -1);
        return;
    }
    int done = 0;
    while (static_cast<DWORD_PTR>(done) < nCount) {
        int batch = kst::detail::NextLoadBatch(done, nCount);
        SetSize(done + batch, -1);
        SerializeElements<TYPE>(ar, m_pData + done, batch);
        done += batch;
    }
}

template <class TYPE, class ARG_TYPE>
void CArray<TYPE, ARG_TYPE>::Serialize(CArchive& ar) {
    CObject::Serialize(ar);
    if (ar.IsStoring()) {
        ar.WriteCount(static_cast<DWORD_PTR>(m_nSize));
        SerializeElements<TYPE>(ar, m_pData, m_nSize);
    } else {
        LoadElements(ar, ar.ReadCount());
    }
}

// A doubly linked list.
template <class TYPE, class ARG_TYPE = const TYPE&>
class KST_API CList : public CObject {
protected:
    struct CNode {
        CNode* pNext;
        CNode* pPrev;
        TYPE data;
    };

public:
    explicit CList(int nBlockSize = 10) : m_nBlockSize(nBlockSize) {}
    CList(const CList&) = delete;
    CList& operator=(const CList&) = delete;
    ~CList() override { RemoveAll(); }

    int GetCount() const { return m_nCount; }
    int GetSize() const { return m_nCount; }
    BOOL IsEmpty() const { return m_nCount == 0; }

    TYPE& GetHead() { return m_pNodeHead->data; }
    const TYPE& GetHead() const { return m_pNodeHead->data; }
    TYPE& GetTail() { return m_pNodeTail->data; }
    const TYPE& GetTail() const { return m_pNodeTail->data; }

    TYPE RemoveHead() {
        CNode* pOld = m_pNodeHead;
        TYPE value(std::move(pOld->data));
        RemoveAt(reinterpret_cast<POSITION>(pOld));
        return value;
    }
    TYPE RemoveTail() {
        CNode* pOld = m_pNodeTail;
        TYPE value(std::move(pOld->data));
        RemoveAt(reinterpret_cast<POSITION>(pOld));
        return value;
    }

    POSITION AddHead(ARG_TYPE newElement) { return InsertBefore(GetHeadPosition(), newElement); }
    POSITION AddTail(ARG_TYPE newElement) { return InsertAfter(GetTailPosition(), newElement); }
    void AddHead(CList* pNewList) {
        for (POSITION pos = pNewList->GetTailPosition(); pos;) AddHead(pNewList->GetPrev(pos));
    }
    void AddTail(CList* pNewList) {
        for (POSITION pos = pNewList->GetHeadPosition(); pos;) AddTail(pNewList->GetNext(pos));
    }
    void RemoveAll() {
        for (CNode* p = m_pNodeHead; p;) {
            CNode* pNext = p->pNext;
            delete p;
            p = pNext;
        }
        m_pNodeHead = m_pNodeTail = nullptr;
        m_nCount = 0;
    }

    POSITION GetHeadPosition() const { return reinterpret_cast<POSITION>(m_pNodeHead); }
    POSITION GetTailPosition() const { return reinterpret_cast<POSITION>(m_pNodeTail); }
    TYPE& GetNext(POSITION& rPosition) {
        CNode* p = Node(rPosition);
        rPosition = reinterpret_cast<POSITION>(p->pNext);
        return p->data;
    }
    const TYPE& GetNext(POSITION& rPosition) const {
        CNode* p = Node(rPosition);
        rPosition = reinterpret_cast<POSITION>(p->pNext);
        return p->data;
    }
    TYPE& GetPrev(POSITION& rPosition) {
        CNode* p = Node(rPosition);
        rPosition = reinterpret_cast<POSITION>(p->pPrev);
        return p->data;
    }
    const TYPE& GetPrev(POSITION& rPosition) const {
        CNode* p = Node(rPosition);
        rPosition = reinterpret_cast<POSITION>(p->pPrev);
        return p->data;
    }
    TYPE& GetAt(POSITION position) { return Node(position)->data; }
    const TYPE& GetAt(POSITION position) const { return Node(position)->data; }
    void SetAt(POSITION pos, ARG_TYPE newElement) { Node(pos)->data = newElement; }
    void RemoveAt(POSITION position);

    // A null position inserts at the head (InsertBefore) or at the tail (InsertAfter).
    POSITION InsertBefore(POSITION position, ARG_TYPE newElement);
    POSITION InsertAfter(POSITION position, ARG_TYPE newElement);

    POSITION Find(ARG_TYPE searchValue, POSITION startAfter = nullptr) const;
    POSITION FindIndex(int nIndex) const;

    void Serialize(CArchive& ar) override;

protected:
    static CNode* Node(POSITION position) { return reinterpret_cast<CNode*>(position); }

    CNode* m_pNodeHead = nullptr;
    CNode* m_pNodeTail = nullptr;
    int m_nCount = 0;
    int m_nBlockSize;
};

template <class TYPE, class ARG_TYPE>
POSITION CList<TYPE, ARG_TYPE>::InsertBefore(POSITION position, ARG_TYPE newElement) {
    CNode* pOld = Node(position ? position : GetHeadPosition());
    CNode* pNew = new CNode{pOld, pOld ? pOld->pPrev : nullptr, TYPE(newElement)};
    if (!pOld) {
        m_pNodeHead = m_pNodeTail = pNew;
    } else {
        if (pOld->pPrev)
            pOld->pPrev->pNext = pNew;
        else
            m_pNodeHead = pNew;
        pOld->pPrev = pNew;
    }
    ++m_nCount;
    return reinterpret_cast<POSITION>(pNew);
}

template <class TYPE, class ARG_TYPE>
POSITION CList<TYPE, ARG_TYPE>::InsertAfter(POSITION position, ARG_TYPE newElement) {
    CNode* pOld = Node(position ? position : GetTailPosition());
    CNode* pNew = new CNode{pOld ? pOld->pNext : nullptr, pOld, TYPE(newElement)};
    if (!pOld) {
        m_pNodeHead = m_pNodeTail = pNew;
    } else {
        if (pOld->pNext)
            pOld->pNext->pPrev = pNew;
        else
            m_pNodeTail = pNew;
        pOld->pNext = pNew;
    }
    ++m_nCount;
    return reinterpret_cast<POSITION>(pNew);
}

template <class TYPE, class ARG_TYPE>
void CList<TYPE, ARG_TYPE>::RemoveAt(POSITION position) {
    CNode* pOld = Node(position);
    if (!pOld) return;
    if (pOld == m_pNodeHead)
        m_pNodeHead = pOld->pNext;
    else
        pOld->pPrev->pNext = pOld->pNext;
    if (pOld == m_pNodeTail)
        m_pNodeTail = pOld->pPrev;
    else
        pOld->pNext->pPrev = pOld->pPrev;
    delete pOld;
    --m_nCount;
}

template <class TYPE, class ARG_TYPE>
POSITION CList<TYPE, ARG_TYPE>::Find(ARG_TYPE searchValue, POSITION startAfter) const {
    CNode* p = startAfter ? Node(startAfter)->pNext : m_pNodeHead;
    for (; p; p = p->pNext)
        if (CompareElements(&p->data, &searchValue)) return reinterpret_cast<POSITION>(p);
    return nullptr;
}

template <class TYPE, class ARG_TYPE>
POSITION CList<TYPE, ARG_TYPE>::FindIndex(int nIndex) const {
    if (nIndex < 0 || nIndex >= m_nCount) return nullptr;
    CNode* p = m_pNodeHead;
    while (nIndex--) p = p->pNext;
    return reinterpret_cast<POSITION>(p);
}

template <class TYPE, class ARG_TYPE>
void CList<TYPE, ARG_TYPE>::Serialize(CArchive& ar) {
    CObject::Serialize(ar);
    if (ar.IsStoring()) {
        ar.WriteCount(static_cast<DWORD_PTR>(m_nCount));
        for (CNode* p = m_pNodeHead; p; p = p->pNext) SerializeElements<TYPE>(ar, &p->data, 1);
        return;
    }
    for (DWORD_PTR n = ar.ReadCount(); n > 0; --n) {
        TYPE newData{};
        SerializeElements<TYPE>(ar, &newData, 1);
        AddTail(newData);
    }
}

// A hash map (see the top of this file for its two chains).
template <class KEY, class ARG_KEY, class VALUE, class ARG_VALUE>
class KST_API CMap : public CObject {
protected:
    struct CAssoc {
        CAssoc* pNext;       // next in its bucket: the framework's order
        CAssoc** ppPrev;     // the link that points here
        CAssoc* pNextIndex;  // next in its lookup-index slot
        CAssoc** ppPrevIndex;
        UINT nHashValue;  // the full HashKey value
        KEY key;
        VALUE value;
    };

public:
    explicit CMap(int nBlockSize = 10) : m_nBlockSize(nBlockSize) {}
    CMap(const CMap&) = delete;
    CMap& operator=(const CMap&) = delete;
    ~CMap() override { RemoveAll(); }

    int GetCount() const { return m_nCount; }
    int GetSize() const { return m_nCount; }
    BOOL IsEmpty() const { return m_nCount == 0; }

    BOOL Lookup(ARG_KEY key, VALUE& rValue) const {
        CAssoc* pAssoc = Find(key, HashKey<ARG_KEY>(key));
        if (!pAssoc) return FALSE;
        rValue = pAssoc->value;
        return TRUE;
    }
    // Inserts the key with a value-initialized value when it is absent.
    VALUE& operator[](ARG_KEY key) {
        UINT nHash = HashKey<ARG_KEY>(key);
        CAssoc* pAssoc = Find(key, nHash);
        if (!pAssoc) pAssoc = NewAssoc(key, nHash);
        return pAssoc->value;
    }
    void SetAt(ARG_KEY key, ARG_VALUE newValue) { (*this)[key] = newValue; }
    BOOL RemoveKey(ARG_KEY key) {
        CAssoc* pAssoc = Find(key, HashKey<ARG_KEY>(key));
        if (!pAssoc) return FALSE;
        FreeAssoc(pAssoc);
        return TRUE;
    }
    void RemoveAll();

    POSITION GetStartPosition() const { return m_nCount == 0 ? nullptr : BEFORE_START_POSITION; }
    void GetNextAssoc(POSITION& rNextPosition, KEY& rKey, VALUE& rValue) const;

    UINT GetHashTableSize() const { return m_nHashTableSize; }
    // Sets the bucket count of an empty map (a map that holds entries keeps its buckets).
    void InitHashTable(UINT hashSize, BOOL bAllocNow = TRUE);

    void Serialize(CArchive& ar) override;

protected:
    CAssoc* Find(ARG_KEY key, UINT nHash) const;
    CAssoc* NewAssoc(ARG_KEY key, UINT nHash);
    // Unlinks and deletes an entry; the last one out frees the tables.
    void FreeAssoc(CAssoc* pAssoc);
    CAssoc* FirstAssocFrom(UINT nBucket) const {
        for (; nBucket < m_nHashTableSize; ++nBucket)
            if (m_pHashTable[nBucket]) return m_pHashTable[nBucket];
        return nullptr;
    }

    CAssoc** m_pHashTable = nullptr;
    UINT m_nHashTableSize = 17;
    int m_nCount = 0;
    int m_nBlockSize;

private:
    UINT IndexSlot(UINT nHash) const { return (nHash * 0x9E3779B1u) >> (32 - m_nIndexBits); }
    static void LinkFront(CAssoc** ppHead, CAssoc* pAssoc, CAssoc* CAssoc::*next,
                          CAssoc** CAssoc::*prev) {
        pAssoc->*next = *ppHead;
        pAssoc->*prev = ppHead;
        if (*ppHead) (*ppHead)->*prev = &(pAssoc->*next);
        *ppHead = pAssoc;
    }
    static void Unlink(CAssoc* pAssoc, CAssoc* CAssoc::*next, CAssoc** CAssoc::*prev) {
        *(pAssoc->*prev) = pAssoc->*next;
        if (pAssoc->*next) (pAssoc->*next)->*prev = pAssoc->*prev;
    }
    void GrowIndex();

    std::unique_ptr<CAssoc*[]> m_pIndex;
    UINT m_nIndexBits = 0;
};

template <class KEY, class ARG_KEY, class VALUE, class ARG_VALUE>
typename CMap<KEY, ARG_KEY, VALUE, ARG_VALUE>::CAssoc* CMap<KEY, ARG_KEY, VALUE, ARG_VALUE>::Find(
    ARG_KEY key, UINT nHash) const {
    if (!m_pIndex) return nullptr;
    for (CAssoc* p = m_pIndex[IndexSlot(nHash)]; p; p = p->pNextIndex)
        if (p->nHashValue == nHash && CompareElements(&p->key, &key)) return p;
    return nullptr;
}

template <class KEY, class ARG_KEY, class VALUE, class ARG_VALUE>
void CMap<KEY, ARG_KEY, VALUE, ARG_VALUE>::GrowIndex() {
    UINT nBits = m_nIndexBits ? m_nIndexBits + 1 : 5;
    m_pIndex = std::make_unique<CAssoc*[]>(size_t{1} << nBits);
    m_nIndexBits = nBits;
    for (UINT b = 0; b < m_nHashTableSize; ++b)
        for (CAssoc* p = m_pHashTable[b]; p; p = p->pNext)
            LinkFront(&m_pIndex[IndexSlot(p->nHashValue)], p, &CAssoc::pNextIndex,
                      &CAssoc::ppPrevIndex);
}

template <class KEY, class ARG_KEY, class VALUE, class ARG_VALUE>
typename CMap<KEY, ARG_KEY, VALUE, ARG_VALUE>::CAssoc*
CMap<KEY, ARG_KEY, VALUE, ARG_VALUE>::NewAssoc(ARG_KEY key, UINT nHash) {
    if (!m_pHashTable) InitHashTable(m_nHashTableSize, TRUE);
    auto* pAssoc = new CAssoc{nullptr, nullptr, nullptr, nullptr, nHash, KEY(key), VALUE()};
    LinkFront(&m_pHashTable[nHash % m_nHashTableSize], pAssoc, &CAssoc::pNext, &CAssoc::ppPrev);
    ++m_nCount;
    if (!m_pIndex || static_cast<size_t>(m_nCount) > (size_t{1} << m_nIndexBits)) {
        GrowIndex();  // links every entry, this one included
    } else {
        LinkFront(&m_pIndex[IndexSlot(nHash)], pAssoc, &CAssoc::pNextIndex, &CAssoc::ppPrevIndex);
    }
    return pAssoc;
}

template <class KEY, class ARG_KEY, class VALUE, class ARG_VALUE>
void CMap<KEY, ARG_KEY, VALUE, ARG_VALUE>::FreeAssoc(CAssoc* pAssoc) {
    Unlink(pAssoc, &CAssoc::pNext, &CAssoc::ppPrev);
    Unlink(pAssoc, &CAssoc::pNextIndex, &CAssoc::ppPrevIndex);
    delete pAssoc;
    if (--m_nCount == 0) RemoveAll();
}

template <class KEY, class ARG_KEY, class VALUE, class ARG_VALUE>
void CMap<KEY, ARG_KEY, VALUE, ARG_VALUE>::RemoveAll() {
    if (m_pHashTable) {
        for (UINT b = 0; b < m_nHashTableSize; ++b) {
            for (CAssoc* p = m_pHashTable[b]; p;) {
                CAssoc* pNext = p->pNext;
                delete p;
                p = pNext;
            }
        }
        delete[] m_pHashTable;
        m_pHashTable = nullptr;
    }
    m_pIndex.reset();
    m_nIndexBits = 0;
    m_nCount = 0;
}

template <class KEY, class ARG_KEY, class VALUE, class ARG_VALUE>
void CMap<KEY, ARG_KEY, VALUE, ARG_VALUE>::InitHashTable(UINT hashSize, BOOL bAllocNow) {
    if (m_nCount != 0 || hashSize == 0) return;
    delete[] m_pHashTable;
    m_pHashTable = nullptr;
    if (bAllocNow) m_pHashTable = new CAssoc*[hashSize]();
    m_nHashTableSize = hashSize;
}

template <class KEY, class ARG_KEY, class VALUE, class ARG_VALUE>
void CMap<KEY, ARG_KEY, VALUE, ARG_VALUE>::GetNextAssoc(POSITION& rNextPosition, KEY& rKey,
                                                        VALUE& rValue) const {
    CAssoc* pAssoc = reinterpret_cast<CAssoc*>(rNextPosition);
    if (rNextPosition == BEFORE_START_POSITION) pAssoc = FirstAssocFrom(0);
    CAssoc* pNext = pAssoc->pNext;
    if (!pNext) pNext = FirstAssocFrom(pAssoc->nHashValue % m_nHashTableSize + 1);
    rNextPosition = reinterpret_cast<POSITION>(pNext);
    rKey = pAssoc->key;
    rValue = pAssoc->value;
}

template <class KEY, class ARG_KEY, class VALUE, class ARG_VALUE>
void CMap<KEY, ARG_KEY, VALUE, ARG_VALUE>::Serialize(CArchive& ar) {
    CObject::Serialize(ar);
    if (ar.IsStoring()) {
        ar.WriteCount(static_cast<DWORD_PTR>(m_nCount));
        for (UINT b = 0; m_pHashTable && b < m_nHashTableSize; ++b) {
            for (CAssoc* p = m_pHashTable[b]; p; p = p->pNext) {
                SerializeElements<KEY>(ar, &p->key, 1);
                SerializeElements<VALUE>(ar, &p->value, 1);
            }
        }
        return;
    }
    for (DWORD_PTR n = ar.ReadCount(); n > 0; --n) {
        KEY newKey{};
        VALUE newValue{};
        SerializeElements<KEY>(ar, &newKey, 1);
        SerializeElements<VALUE>(ar, &newValue, 1);
        SetAt(newKey, newValue);
    }
}

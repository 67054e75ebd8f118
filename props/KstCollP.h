// The collection layer under the owning containers: the framework's list, array and map as
// property objects. This layer holds the structure and writes and reads the archive form;
// it owns nothing (its destructor frees the structure, not the objects), has no runtime
// class of its own, and its assignment, comparison and Clear are those of CObjectP. The
// element type is a pointer to CObjectP or to a class derived from it.
//
// A reference to this layer may be held to an owning container: what it offers publicly is
// what cannot break ownership there. It reads, appends (Add, AddTail, AddHead, InsertBefore,
// InsertAfter: the container takes the object), stores and loads (the owning Clear runs
// first), and Clear through the virtual slot. What would put a pointer into two slots, or
// drop or overwrite one without deleting it (writable ElementAt, SetSize, InsertAt with a
// count, the map's writable index operator), is protected here and offered, with ownership,
// by the owning class.
//
// Threads: an object is used by one thread at a time; nothing here locks. What can throw:
// memory exhaustion (std::bad_alloc) anywhere, CArchiveException* and CFileException* from
// Serialize; a load that throws leaves the elements read so far in the container.
#pragma once

#include <type_traits>

#include "KstArchive.h"
#include "KstCollTempl.h"
#include "KstExport.h"
#include "KstObjectP.h"
#include "KstString.h"

template <class TYPE, class ARG_TYPE = TYPE>
class CArrayP : public CObjectP {
    static_assert(std::is_convertible_v<TYPE, const CObjectP*>, "elements are property objects");

public:
    CArrayP() = default;
    CArrayP(const CArrayP&) = delete;
    CArrayP& operator=(const CArrayP&) = delete;
    using CObjectP::operator=;

    int GetSize() const { return m_elements.GetSize(); }
    int GetCount() const { return m_elements.GetSize(); }
    BOOL IsEmpty() const { return m_elements.IsEmpty(); }
    int GetUpperBound() const { return m_elements.GetUpperBound(); }
    // Slots allocated, filled or not.
    int GetAllocatedSize() const { return m_elements.GetAllocatedSize(); }
    TYPE GetAt(int nIndex) const { return m_elements.GetAt(nIndex); }
    TYPE operator[](int nIndex) const { return m_elements[nIndex]; }
    // Read-only: a slot is written through the owning class's SetAt.
    const TYPE& ElementAt(int nIndex) const { return m_elements.ElementAt(nIndex); }
    const TYPE* GetData() const { return m_elements.GetData(); }
    int Add(ARG_TYPE newElement) { return m_elements.Add(newElement); }

    void Serialize(CArchive& ar) override {
        CObjectP::Serialize(ar);
        if (ar.IsStoring()) {
            ar.WriteCount(static_cast<DWORD_PTR>(GetSize()));
            for (int i = 0; i < GetSize(); ++i) ar.WriteObject(GetAt(i));
            return;
        }
        LoadElements(ar, ar.ReadCount());
    }

protected:
    // New slots are null; shrinking drops pointers without deleting them.
    void SetSize(int nNewSize, int nGrowBy = -1) { m_elements.SetSize(nNewSize, nGrowBy); }

    class CElements : public CArray<TYPE, ARG_TYPE> {
    public:
        int GetAllocatedSize() const { return this->m_nMaxSize; }
    };

    // Grows as the elements arrive, so a huge count in a short archive reserves nothing it
    // cannot fill; what was read before an error stays in the array.
    void LoadElements(CArchive& ar, DWORD_PTR nCount) {
        if (nCount > 0x7FFFFFFF) AfxThrowArchiveException(CArchiveException::badIndex);
        int done = 0;
        while (static_cast<DWORD_PTR>(done) < nCount) {
            int batch = kst::detail::NextLoadBatch(done, nCount);
            m_elements.SetSize(done + batch, -1);
            for (int end = done + batch; done < end; ++done)
                m_elements.ElementAt(done) = static_cast<TYPE>(CObjectP::ReadOwned(ar));
        }
    }

    CElements m_elements;
};

template <class TYPE, class ARG_TYPE = TYPE>
class CListP : public CObjectP {
    static_assert(std::is_convertible_v<TYPE, const CObjectP*>, "elements are property objects");

public:
    CListP() = default;
    CListP(const CListP&) = delete;
    CListP& operator=(const CListP&) = delete;
    using CObjectP::operator=;

    int GetCount() const { return m_elements.GetCount(); }
    int GetSize() const { return m_elements.GetCount(); }
    BOOL IsEmpty() const { return m_elements.IsEmpty(); }
    TYPE GetHead() const { return m_elements.GetHead(); }
    TYPE GetTail() const { return m_elements.GetTail(); }
    POSITION AddHead(ARG_TYPE newElement) { return m_elements.AddHead(newElement); }
    POSITION AddTail(ARG_TYPE newElement) { return m_elements.AddTail(newElement); }
    POSITION InsertBefore(POSITION position, ARG_TYPE newElement) {
        return m_elements.InsertBefore(position, newElement);
    }
    POSITION InsertAfter(POSITION position, ARG_TYPE newElement) {
        return m_elements.InsertAfter(position, newElement);
    }
    POSITION GetHeadPosition() const { return m_elements.GetHeadPosition(); }
    POSITION GetTailPosition() const { return m_elements.GetTailPosition(); }
    TYPE GetNext(POSITION& rPosition) const { return m_elements.GetNext(rPosition); }
    TYPE GetPrev(POSITION& rPosition) const { return m_elements.GetPrev(rPosition); }
    TYPE GetAt(POSITION position) const { return m_elements.GetAt(position); }
    POSITION Find(ARG_TYPE searchValue, POSITION startAfter = nullptr) const {
        return m_elements.Find(searchValue, startAfter);
    }
    POSITION FindIndex(int nIndex) const { return m_elements.FindIndex(nIndex); }

    void Serialize(CArchive& ar) override {
        CObjectP::Serialize(ar);
        if (ar.IsStoring()) {
            ar.WriteCount(static_cast<DWORD_PTR>(GetCount()));
            for (POSITION pos = GetHeadPosition(); pos;) ar.WriteObject(GetNext(pos));
            return;
        }
        for (DWORD_PTR n = ar.ReadCount(); n > 0; --n)
            m_elements.AddTail(static_cast<TYPE>(CObjectP::ReadOwned(ar)));
    }

protected:
    CList<TYPE, ARG_TYPE> m_elements;
};

template <class KEY, class ARG_KEY, class VALUE, class ARG_VALUE>
class CMapP : public CObjectP {
    static_assert(std::is_convertible_v<VALUE, const CObjectP*>, "values are property objects");

public:
    CMapP() = default;
    CMapP(const CMapP&) = delete;
    CMapP& operator=(const CMapP&) = delete;
    using CObjectP::operator=;

    int GetCount() const { return m_table.GetCount(); }
    int GetSize() const { return m_table.GetCount(); }
    BOOL IsEmpty() const { return m_table.IsEmpty(); }
    // Finds the key and its value, which may be null.
    BOOL Lookup(ARG_KEY key, VALUE& rValue) const { return m_table.Lookup(key, rValue); }
    POSITION GetStartPosition() const { return m_table.GetStartPosition(); }
    void GetNextAssoc(POSITION& rNextPosition, KEY& rKey, VALUE& rValue) const {
        m_table.GetNextAssoc(rNextPosition, rKey, rValue);
    }
    UINT GetHashTableSize() const { return m_table.GetHashTableSize(); }
    void InitHashTable(UINT hashSize, BOOL bAllocNow = TRUE) {
        m_table.InitHashTable(hashSize, bAllocNow);
    }

    // Entries in bucket order, the framework's: archives come out byte for byte as there.
    void Serialize(CArchive& ar) override {
        CObjectP::Serialize(ar);
        if (ar.IsStoring()) {
            ar.WriteCount(static_cast<DWORD_PTR>(GetCount()));
            for (POSITION pos = GetStartPosition(); pos;) {
                const auto& entry = m_table.EntryAt(pos);
                ar << entry.key;
                ar.WriteObject(entry.value);
                pos = m_table.Next(pos);
            }
            return;
        }
        for (DWORD_PTR n = ar.ReadCount(); n > 0; --n) {
            KEY key{};
            ar >> key;
            PutLoaded(key, static_cast<VALUE>(CObjectP::ReadOwned(ar)));
        }
    }

protected:
    // Inserts or replaces the pointer of a key without deleting a previous one.
    VALUE& operator[](ARG_KEY key) { return m_table[key]; }

    // The framework's map, opened up for walks that need no copies of keys and values.
    class CTable : public CMap<KEY, ARG_KEY, VALUE, ARG_VALUE> {
        using Base = CMap<KEY, ARG_KEY, VALUE, ARG_VALUE>;

    public:
        using typename Base::CAssoc;
        const CAssoc& EntryAt(POSITION pos) const {
            if (pos == BEFORE_START_POSITION) return *this->FirstAssocFrom(0);
            return *reinterpret_cast<const CAssoc*>(pos);
        }
        // The position after pos, or null at the end.
        POSITION Next(POSITION pos) const {
            const CAssoc& entry = EntryAt(pos);
            const CAssoc* pNext = entry.pNext;
            if (!pNext) pNext = this->FirstAssocFrom(entry.nHashValue % this->m_nHashTableSize + 1);
            return reinterpret_cast<POSITION>(const_cast<CAssoc*>(pNext));
        }
        // Removes the key and hands back its value; FALSE when absent.
        BOOL Take(ARG_KEY key, VALUE& rValue) {
            CAssoc* pAssoc = this->Find(key, HashKey<ARG_KEY>(key));
            if (!pAssoc) return FALSE;
            rValue = pAssoc->value;
            this->FreeAssoc(pAssoc);
            ++m_nKeyChanges;
            return TRUE;
        }
        VALUE& operator[](ARG_KEY key) {
            int nBefore = this->GetCount();
            VALUE& slot = Base::operator[](key);
            if (this->GetCount() != nBefore) ++m_nKeyChanges;
            return slot;
        }
        void RemoveAll() {
            Base::RemoveAll();
            ++m_nKeyChanges;
        }
        // Changes whenever a key comes or goes: what a count kept beside the map checks.
        unsigned KeyChanges() const { return m_nKeyChanges; }

    private:
        unsigned m_nKeyChanges = 0;
    };

    // A repeated key in an archive takes the later value; the earlier object is deleted here,
    // as nothing else holds it.
    void PutLoaded(ARG_KEY key, VALUE value) {
        VALUE& slot = m_table[key];
        if (slot && slot != value) delete slot;
        slot = value;
    }

    CTable m_table;
};

// A serializable document: a name, a property set of settings and a list of items.
#pragma once

#include "StdAfx.h"

class CItem : public CObject {
    DECLARE_SERIAL(CItem)
public:
    CItem() {}
    CItem(LPCTSTR name, UINT count) : m_strName(name), m_nCount(count) {}
    virtual void Serialize(CArchive& ar);
    virtual void AssertValid() const;

    CString m_strName;
    UINT m_nCount = 0;
};

class CInventory : public CObject {
    DECLARE_SERIAL(CInventory)
public:
    CInventory() {}
    virtual ~CInventory();
    virtual void Serialize(CArchive& ar);

    CString m_strTitle;
    CPropertySet m_settings;
    CTypedPtrArray<CObArray, CItem*> m_items;
};

#include "StdAfx.h"
#include "Inventory.h"

#ifdef _DEBUG
#define new DEBUG_NEW
#undef THIS_FILE
static char THIS_FILE[] = __FILE__;
#endif

IMPLEMENT_SERIAL(CItem, CObject, 1)
IMPLEMENT_SERIAL(CInventory, CObject, 1)

void CItem::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << m_strName << static_cast<DWORD>(m_nCount);
    } else {
        DWORD count;
        ar >> m_strName >> count;
        m_nCount = count;
    }
}

void CItem::AssertValid() const {
    CObject::AssertValid();
    ASSERT(!m_strName.IsEmpty());
}

CInventory::~CInventory() {
    for (int i = 0; i < m_items.GetSize(); i++) delete m_items[i];
}

void CInventory::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << m_strTitle;
    } else {
        ar >> m_strTitle;
    }
    m_settings.Serialize(ar);
    if (ar.IsStoring()) {
        ar.WriteCount(m_items.GetSize());
        for (int i = 0; i < m_items.GetSize(); i++) ar << m_items[i];
    } else {
        DWORD_PTR n = ar.ReadCount();
        for (DWORD_PTR i = 0; i < n; i++) {
            CItem* item = NULL;
            ar >> item;
            ASSERT_VALID(item);
            m_items.Add(item);
        }
    }
}

// The XML form of every property class: scalars as the element's text (a time as a typed
// date), string lists and containers as child elements after the attribute "Count"; a map's
// children carry their keys in the attribute "Key".
#include <memory>
#include <string>

#include "KstProperties.h"
#include "KstXML.h"

namespace {

using Support = CXMLSupportInObject;

void SetCount(CXMLNode& node, int count) {
    CXMLElement(node).SetAttribute("Count", count);
}

// The child for pObject in node, into child: created and appended, or false.
bool AppendChild(CXMLDocument& document, CXMLNode& node, const CObjectP* pObject, CXMLNode& child) {
    return Support::AppendChildOf(pObject, document, node, child);
}

// Walks node's children while the index is below the list's current length; each one that
// names a property class yields a new object that has read itself from its child.
template <class Place>
void LoadChildren(CXMLNode& node, Place place) {
    CXMLNodeList list;
    if (!node.GetChildNodes(list)) return;
    for (long i = 0; i < list.GetLength(); ++i) {
        CXMLNode child;
        if (!list.GetItem(i, child)) continue;
        std::unique_ptr<CObjectP> pObject(Support::CreatePropertyFromXMLNode(child));
        if (pObject) place(i, child, pObject);
    }
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // lower case too
}

}  // namespace

void CStringP::SerializeXML(CXMLNode& node, bool bStoring) {
    if (bStoring) {
        node.SetText(*this);
        return;
    }
    CString text;
    if (node.GetText(text)) static_cast<CString&>(*this) = std::move(text);
}

// Signed decimal: 2^32 - 1 is written -1.
void CUIntP::SerializeXML(CXMLNode& node, bool bStoring) {
    if (bStoring)
        node.SetValue(static_cast<int>(m_nValue));
    else
        node.GetValue(m_nValue);
}

void CTimeP::SerializeXML(CXMLNode& node, bool bStoring) {
    if (bStoring)
        node.SetValue(static_cast<const CTime&>(*this));
    else
        node.GetValue(static_cast<CTime&>(*this));
}

// The stored byte as a number, so a byte other than 0 and 1 keeps its value in the text.
void CBoolP::SerializeXML(CXMLNode& node, bool bStoring) {
    if (bStoring)
        node.SetValue(static_cast<int>(m_byValue));
    else
        m_byValue = node.GetBool() ? 1 : 0;
}

void CInt64P::SerializeXML(CXMLNode& node, bool bStoring) {
    if (bStoring)
        node.SetValue(m_nValue);
    else
        m_nValue = node.GetInt64();
}

// Two upper-case hexadecimal digits a byte. Reading takes half the text's length; a character
// that is no upper-case digit counts as 0 and a trailing odd one is ignored.
void CBinaryP::SerializeXML(CXMLNode& node, bool bStoring) {
    if (bStoring) {
        std::string text(static_cast<size_t>(m_nSize) * 2, '0');
        for (UINT i = 0; i < m_nSize; ++i) {
            text[2 * i] = kHexDigits[m_pData[i] >> 4];
            text[2 * i + 1] = kHexDigits[m_pData[i] & 0x0F];
        }
        node.SetText(CString(std::move(text)));
        return;
    }
    CString text = node.GetText();
    UINT length = static_cast<UINT>(text.GetLength());
    Resize(length / 2);
    for (UINT i = 0; i < m_nSize; ++i) {
        int high = HexValue(text[static_cast<int>(2 * i)]);
        int low = HexValue(text[static_cast<int>(2 * i + 1)]);
        m_pData[i] = static_cast<BYTE>((high < 0 ? 0 : high) * 16 + (low < 0 ? 0 : low));
    }
}

void CStringArrayP::SerializeXML(CXMLNode& node, bool bStoring) {
    if (!bStoring) {
        Clear();
        CXMLNodeList list;
        if (!node.GetChildNodes(list)) return;
        for (long i = 0; i < list.GetLength(); ++i) {
            CXMLNode child;
            if (list.GetItem(i, child)) Add(child.GetText());
        }
        return;
    }
    SetCount(node, GetSize());
    CXMLDocument document;
    node.GetOwnerDocument(document);
    for (int i = 0; i < GetSize(); ++i) {
        CXMLNode item;
        if (document.CreateElement("Item", item) && item.SetText(m_strings[i]))
            node.AppendChild(item);
    }
}

// Null slots count in "Count" but have no element, so they do not come back.
void CObjectPArrayPtr::SerializeXML(CXMLNode& node, bool bStoring) {
    if (!bStoring) {
        Clear();
        CXMLNodeList list;
        if (node.GetChildNodes(list)) SetSize(static_cast<int>(list.GetLength()));
        LoadChildren(node, [this](long i, CXMLNode& child, std::unique_ptr<CObjectP>& pObject) {
            if (Support::SerializeNested(*pObject, child, false))
                SetAtGrow(static_cast<int>(i), pObject.release());
        });
        return;
    }
    SetCount(node, GetSize());
    CXMLDocument document;
    node.GetOwnerDocument(document);
    for (int i = 0; i < GetSize(); ++i) {
        CXMLNode child;
        if (CObjectP* pObject = GetAt(i); pObject && AppendChild(document, node, pObject, child))
            Support::SerializeNested(*pObject, child, true);
    }
}

void CObjectPListPtr::SerializeXML(CXMLNode& node, bool bStoring) {
    if (!bStoring) {
        Clear();
        LoadChildren(node, [this](long, CXMLNode& child, std::unique_ptr<CObjectP>& pObject) {
            if (Support::SerializeNested(*pObject, child, false)) AddTail(pObject.release());
        });
        return;
    }
    SetCount(node, GetCount());
    CXMLDocument document;
    node.GetOwnerDocument(document);
    for (POSITION pos = GetHeadPosition(); pos;) {
        CXMLNode child;
        if (CObjectP* pObject = GetNext(pos);
            pObject && AppendChild(document, node, pObject, child))
            Support::SerializeNested(*pObject, child, true);
    }
}

// Full keys, in the map's traversal order; the property set's prefix is not stored. A child
// without "Key" is read into nothing.
void CMapStringToObjectPPtr::SerializeXML(CXMLNode& node, bool bStoring) {
    if (!bStoring) {
        Clear();
        LoadChildren(node, [this](long, CXMLNode& child, std::unique_ptr<CObjectP>& pObject) {
            CString key;
            if (CXMLElement(child).GetAttribute("Key", key) &&
                Support::SerializeNested(*pObject, child, false))
                SetAt(key, pObject.release());
        });
        return;
    }
    SetCount(node, GetCount());
    CXMLDocument document;
    node.GetOwnerDocument(document);
    for (POSITION pos = GetStartPosition(); pos;) {
        CString key;
        CObjectP* pObject = nullptr;
        GetNextAssoc(pos, key, pObject);
        CXMLNode child;
        if (!pObject || !AppendChild(document, node, pObject, child)) continue;
        if (CXMLElement(child).SetAttribute("Key", key))
            Support::SerializeNested(*pObject, child, true);
    }
}

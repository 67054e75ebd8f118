// The DOM wrappers: each operation is one DOM call through GetInterface, its HRESULT turned
// into a boolean, an empty string or an unchanged value.
#include <cstdlib>

#include "KstWin32Base.h"
#include "KstXML.h"

namespace {

// A VARIANT that is always cleared.
struct Variant : VARIANT {
    Variant() { VariantInit(this); }
    ~Variant() { VariantClear(this); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
};

CString FromBstr(BSTR text) {
    return text ? CString(text, static_cast<int>(SysStringLen(text))) : CString();
}

}  // namespace

// ---- CXMLNode ------------------------------------------------------------------------------

CXMLNode::~CXMLNode() {
    DomReleaseNode(m_pNode);
}

xmlNode* CXMLNode::Interface() {
    xmlNode* node = *GetInterface();
    if (!node) _com_issue_error(E_POINTER);
    return node;
}

CString CXMLNode::GetName() {
    std::string name;
    if (DomGetNodeName(Interface(), name) != S_OK) return CString();
    return CString(std::move(name));
}

bool CXMLNode::GetText(CString& text) {
    std::string value;
    if (DomGetText(Interface(), value) != S_OK) return false;
    text = CString(std::move(value));
    return true;
}

CString CXMLNode::GetText() {
    CString text;
    GetText(text);
    return text;
}

bool CXMLNode::SetText(const CString& text) {
    return DomPutText(Interface(), text.view()) == S_OK;
}

bool CXMLNode::SetValue(int value) {
    CString text;
    text.Format("%d", value);
    return SetText(text);
}

bool CXMLNode::GetValue(UINT& value) {
    Variant typed;
    if (DomGetTypedValue(Interface(), &typed) != S_OK) return false;
    if (VariantChangeType(&typed, &typed, 0, VT_INT) != S_OK) return false;
    value = static_cast<UINT>(typed.intVal);
    return true;
}

int CXMLNode::GetValue() {
    UINT value = 0;
    return GetValue(value) ? static_cast<int>(value) : 0;
}

bool CXMLNode::SetValue(bool value) {
    return SetValue(value ? 1 : 0);
}

bool CXMLNode::GetBool() {
    return GetValue() != 0;
}

bool CXMLNode::SetValue(int64_t value) {
    CString text;
    text.Format("%lld", static_cast<long long>(value));
    return SetText(text);
}

int64_t CXMLNode::GetInt64() {
    return std::strtoll(GetText(), nullptr, 10);
}

bool CXMLNode::SetValue(const CTime& time) {
    xmlNode* node = Interface();
    Variant date;
    date.vt = VT_R8;
    date.dblVal = COleDateTime(time).m_dt;
    DomPutDataType(node, "dateTime");
    return DomPutTypedValue(node, date) == S_OK;
}

CTime& CXMLNode::GetValue(CTime& time) {
    Variant typed;
    if (DomGetTypedValue(Interface(), &typed) != S_OK) return time;
    if (VariantChangeType(&typed, &typed, 0, VT_DATE) != S_OK) return time;
    SYSTEMTIME fields;
    if (COleDateTime(typed.date).GetAsSystemTime(fields)) time = CTime(fields, -1);
    return time;
}

bool CXMLNode::GetChildNodes(CXMLNodeList& list) {
    xmlNode* node = Interface();
    xmlNode** target = list.GetInterface();
    DomReleaseNode(*target);
    *target = nullptr;
    return DomGetChildNodes(node, target) == S_OK;
}

bool CXMLNode::AppendChild(CXMLNode& child) {
    xmlNode* result = nullptr;
    xmlNode* node = *child.GetInterface();
    return DomAppendChild(Interface(), node, &result) == S_OK && result == node;
}

bool CXMLNode::GetOwnerDocument(CXMLDocument& document) {
    xmlNode* node = Interface();
    xmlDoc** target = document.GetInterface();
    *target = nullptr;
    return DomGetOwnerDocument(node, target) == S_OK;
}

// ---- CXMLNodeList --------------------------------------------------------------------------

CXMLNodeList::~CXMLNodeList() {
    DomReleaseNode(m_pList);
}

xmlNode* CXMLNodeList::Interface() {
    xmlNode* list = *GetInterface();
    if (!list) _com_issue_error(E_POINTER);
    return list;
}

long CXMLNodeList::GetLength() {
    long length = 0;
    DomListGetLength(Interface(), m_cursor, &length);
    return length;
}

bool CXMLNodeList::GetItem(long index, CXMLNode& node) {
    xmlNode* list = Interface();
    xmlNode** target = node.GetInterface();
    DomReleaseNode(*target);
    *target = nullptr;
    return DomListGetItem(list, m_cursor, index, target) == S_OK;
}

// ---- CXMLElement ---------------------------------------------------------------------------

CXMLElement::CXMLElement(CXMLNode& node) {
    xmlNode* source = *node.GetInterface();
    if (!source) return;
    HRESULT hr = DomQueryElement(source, &m_pElement);
    if (hr != S_OK && hr != E_NOINTERFACE) _com_issue_error(hr);
}

CXMLElement::~CXMLElement() {
    DomReleaseNode(m_pElement);
}

bool CXMLElement::SetAttribute(const CString& name, const CString& value) {
    xmlNode* element = Interface();
    Variant text;
    int length = MultiByteToWideChar(CP_ACP, 0, value, value.GetLength(), nullptr, 0);
    text.bstrVal = SysAllocStringLen(nullptr, static_cast<UINT>(length));
    if (text.bstrVal && length > 0)
        MultiByteToWideChar(CP_ACP, 0, value, value.GetLength(), text.bstrVal, length);
    if (text.bstrVal) {
        text.vt = VT_BSTR;
    } else {
        text.vt = VT_ERROR;
        text.scode = E_OUTOFMEMORY;
    }
    return DomSetAttribute(element, name.view(), text) == S_OK;
}

bool CXMLElement::SetAttribute(const CString& name, int value) {
    xmlNode* element = Interface();
    Variant number;
    number.vt = VT_I4;
    number.lVal = value;
    return DomSetAttribute(element, name.view(), number) == S_OK;
}

bool CXMLElement::SetAttribute(const CString& name, bool value) {
    return SetAttribute(name, value ? 1 : 0);
}

bool CXMLElement::GetAttribute(const CString& name, CString& value) {
    Variant attribute;
    if (DomGetAttribute(Interface(), name.view(), &attribute) != S_OK) return false;
    if (attribute.vt == VT_BSTR) value = FromBstr(attribute.bstrVal);
    return true;
}

CString CXMLElement::GetAttribute(const CString& name) {
    CString value;
    GetAttribute(name, value);
    return value;
}

bool CXMLElement::GetBoolAttribute(const CString& name) {
    Variant attribute;
    if (DomGetAttribute(Interface(), name.view(), &attribute) != S_OK) return false;
    if (VariantChangeType(&attribute, &attribute, 0, VT_BOOL) != S_OK) return false;
    return attribute.boolVal == VARIANT_TRUE;
}

// ---- CXMLDocument ----------------------------------------------------------------------------

CXMLParseError::CXMLParseError(const DomParseError& error)
    : m_lErrorCode(error.errorCode),
      m_lLine(error.line),
      m_lLinePos(error.linepos),
      m_lFilePos(error.filepos),
      m_strReason(error.reason),
      m_strSrcText(error.srcText),
      m_strURL(error.url) {}

CString CXMLDocument::FormatParseError(const CXMLParseError& error) {
    CString text;
    text.Format(
        "Error 0x%.8X on line %d, position %d,absolute file position %d\n"
        "reason for the error = %s.\n"
        "full text of the line containing the error = %s.\n"
        "Contains the URL of the XML document = %s.",
        static_cast<unsigned>(error.m_lErrorCode), static_cast<int>(error.m_lLine),
        static_cast<int>(error.m_lLinePos), static_cast<int>(error.m_lFilePos),
        error.m_strReason.c_str(), error.m_strSrcText.c_str(), error.m_strURL.c_str());
    return text;
}

bool CXMLDocument::CreateElement(const CString& name, CXMLNode& node) {
    xmlDoc* document = *GetInterface();
    if (!document) _com_issue_error(E_POINTER);
    xmlNode** target = node.GetInterface();
    DomReleaseNode(*target);
    *target = nullptr;
    return DomCreateNode(document, NODE_ELEMENT, name.view(), target) == S_OK;
}

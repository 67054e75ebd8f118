// Object wrappers over the platform's XML DOM (KstXmlDom.h): a node, a list of child nodes, an
// element and a document. Each holds one DOM pointer, null at construction; GetInterface
// answers the address of that pointer, so that a host can read it or store its own node or
// document into a wrapper (see KstXmlDom.h). An operation on a wrapper whose pointer is null
// raises _com_error with E_POINTER. Texts are in the ANSI code page. A true result means that
// the DOM call answered S_OK.
#pragma once

#include "KstErrorInfo.h"
#include "KstExport.h"
#include "KstString.h"
#include "KstTime.h"
#include "KstXmlDom.h"

class CXMLNodeList;
class CXMLDocument;

class KST_API CXMLNode {
public:
    CXMLNode() = default;
    CXMLNode(const CXMLNode&) = delete;
    CXMLNode& operator=(const CXMLNode&) = delete;
    virtual xmlNode** GetInterface() { return &m_pNode; }
    virtual ~CXMLNode();

    // Empty when the DOM gives no name.
    CString GetName();
    bool GetText(CString& text);  // unchanged unless the call succeeds
    CString GetText();
    bool SetText(const CString& text);
    bool SetValue(int value);  // "%d"
    // The typed value as a signed integer taken as unsigned; unchanged on failure.
    bool GetValue(UINT& value);
    int GetValue();             // 0 on failure
    bool SetValue(bool value);  // "1" or "0"
    bool GetBool();
    bool SetValue(int64_t value);
    // Leading blanks, a sign and the digits up to the first other character; none give 0.
    int64_t GetInt64();
    // The local time as the data type "dateTime".
    bool SetValue(const CTime& time);
    // The typed value as a date, as local time; time unchanged when it is no date.
    CTime& GetValue(CTime& time);
    bool GetChildNodes(CXMLNodeList& list);
    // True only when the DOM answers S_OK with the child itself.
    bool AppendChild(CXMLNode& child);
    bool GetOwnerDocument(CXMLDocument& document);

protected:
    xmlNode* Interface();  // the pointer, or _com_error(E_POINTER)

private:
    xmlNode* m_pNode = nullptr;
};

// The children of a node, live: the list holds the node whose children it walks.
class KST_API CXMLNodeList {
public:
    CXMLNodeList() = default;
    CXMLNodeList(const CXMLNodeList&) = delete;
    CXMLNodeList& operator=(const CXMLNodeList&) = delete;
    virtual xmlNode** GetInterface() { return &m_pList; }
    virtual ~CXMLNodeList();

    long GetLength();  // 0 when the DOM does not answer
    bool GetItem(long index, CXMLNode& node);

private:
    xmlNode* Interface();
    xmlNode* m_pList = nullptr;
    DomListCursor m_cursor;  // where the last item was
};

// An element, taken from a node that is one; the wrapper of any other node stays empty.
class KST_API CXMLElement : public CXMLNode {
public:
    CXMLElement() = default;
    explicit CXMLElement(CXMLNode& node);
    xmlNode** GetInterface() override { return &m_pElement; }
    ~CXMLElement() override;

    bool SetAttribute(const CString& name, const CString& value);
    bool SetAttribute(const CString& name, const char* value) {
        return SetAttribute(name, CString(value));
    }
    bool SetAttribute(const CString& name, int value);
    bool SetAttribute(const CString& name, bool value);  // 1 or 0
    // False for an absent attribute; the value is set only when it came as a string.
    bool GetAttribute(const CString& name, CString& value);
    CString GetAttribute(const CString& name);
    // The attribute converted to a boolean is true.
    bool GetBoolAttribute(const CString& name);

private:
    xmlNode* m_pElement = nullptr;
};

// What a parse error reports (DomParseError in the wrappers' strings).
struct KST_API CXMLParseError {
    long m_lErrorCode = 0;
    long m_lLine = 0;
    long m_lLinePos = 0;
    long m_lFilePos = 0;
    CString m_strReason;
    CString m_strSrcText;
    CString m_strURL;

    CXMLParseError() = default;
    explicit CXMLParseError(const DomParseError& error);
};

// The document that new elements are created in. The wrapper does not own the document:
// whoever made it frees it (DomFreeDocument).
class KST_API CXMLDocument {
public:
    CXMLDocument() : m_strRootName("Root") {}
    CXMLDocument(const CXMLDocument&) = delete;
    CXMLDocument& operator=(const CXMLDocument&) = delete;
    virtual xmlDoc** GetInterface() { return &m_pDocument; }
    virtual CString FormatParseError(const CXMLParseError& error);
    virtual ~CXMLDocument() = default;

    // A new element, not attached, into node; it is freed with the last wrapper that holds it
    // unless it is appended somewhere first.
    bool CreateElement(const CString& name, CXMLNode& node);

    CString m_strRootName;  // a host's name for its document's root element
    int m_nFlags = 0;       // free for the host

private:
    xmlDoc* m_pDocument = nullptr;

public:
    CErrorData m_errorData;  // free for the host: the last error it recorded
};

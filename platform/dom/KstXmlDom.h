// The platform's XML DOM: libxml2's tree reached through plain calls with HRESULT results, in
// place of the COM interfaces of the original platform. A node (element, text, comment...)
// is an xmlNode*, a document an xmlDoc*; this header declares both opaquely, so a host that
// only uses the library's wrappers needs no libxml2 headers.
//
// Results: S_OK, S_FALSE where a call found nothing (an absent attribute), E_POINTER for a null
// pointer, E_NOINTERFACE for a node that is not an element where an element is needed,
// E_INVALIDARG for a name that is no XML name, E_FAIL otherwise. libxml2 is loaded when a
// document is first created or parsed; where it cannot be, those calls answer
// REGDB_E_CLASSNOTREG, as the original platform does for a DOM that is not installed. Texts cross in the ANSI code
// page (the DOM holds UTF-8); VARIANT strings are UTF-16 BSTRs (KstOleAuto.h).
//
// Handing in a host's own nodes: parse or build a document with libxml2 (or DomLoadXml,
// DomLoadFile, DomCreateDocument) and store the node into a wrapper through its GetInterface:
//     CXMLNode root;  *root.GetInterface() = xmlDocGetRootElement(doc);
// The host's nodes stay the host's: the wrappers never free them, nor the document.
//
// Ownership. Nodes belong to their document. An element that DomCreateNode made belongs to
// whoever holds it until it is attached (appended, or made the document element): every call
// that hands such a "floating" node out (DomCreateNode, DomQueryElement, DomGetChildNodes)
// counts a reference, and DomReleaseNode drops one; the last release frees the node and what
// was built under it. Releasing an attached node does nothing, also after its document was freed. A floating node stored into a
// second wrapper through GetInterface must be counted with DomAddRefNode.
//
// Node lists. The list of a node's children is held as the node itself and is live. Its
// lengths and positions are remembered between calls while no tree changes through these
// calls; a host that changes a tree with libxml2 directly while a list of it is in use calls
// DomTreeChanged first.
#pragma once

#include <string>
#include <string_view>

#include "KstExport.h"
#include "KstOleAuto.h"
#include "KstVariant.h"
#include "KstWinTypes.h"

typedef struct _xmlNode xmlNode;
typedef struct _xmlDoc xmlDoc;

// The DOM is not there to be used (libxml2 cannot be loaded).
#ifndef REGDB_E_CLASSNOTREG
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154L)
#endif

// The node types of the DOM (createNode's first argument, DomGetNodeType's answer).
enum DOMNodeType {
    NODE_INVALID = 0,
    NODE_ELEMENT = 1,
    NODE_ATTRIBUTE = 2,
    NODE_TEXT = 3,
    NODE_CDATA_SECTION = 4,
    NODE_ENTITY_REFERENCE = 5,
    NODE_ENTITY = 6,
    NODE_PROCESSING_INSTRUCTION = 7,
    NODE_COMMENT = 8,
    NODE_DOCUMENT = 9,
    NODE_DOCUMENT_TYPE = 10,
    NODE_DOCUMENT_FRAGMENT = 11,
    NODE_NOTATION = 12
};

// The namespace of the DOM's data types ("dt:dt" attributes).
#define KST_DOM_DATATYPES_NS "urn:schemas-microsoft-com:datatypes"

// ---- nodes ---------------------------------------------------------------------------------
// The element's name; "#text", "#comment", "#cdata-section", "#document" for the others.
KST_API HRESULT DomGetNodeName(xmlNode* node, std::string& name);
KST_API HRESULT DomGetNodeType(xmlNode* node, DOMNodeType& type);
// The text of the node and everything below it.
KST_API HRESULT DomGetText(xmlNode* node, std::string& text);
// Replaces what the node holds with the text (no children for an empty text).
KST_API HRESULT DomPutText(xmlNode* node, std::string_view text);
// The value by the node's data type: VT_DATE for "dateTime" (E_FAIL when the text is no
// date), else its text as VT_BSTR.
KST_API HRESULT DomGetTypedValue(xmlNode* node, VARIANT* value);
// Writes the value as the data type asks: a "dateTime" as YYYY-MM-DDTHH:MM:SS.
KST_API HRESULT DomPutTypedValue(xmlNode* node, const VARIANT& value);
// "dateTime" or "string": the attribute dt:dt in KST_DOM_DATATYPES_NS; an empty type removes
// it; other types E_FAIL.
KST_API HRESULT DomPutDataType(xmlNode* node, std::string_view type);
// Appends child (moving it when it is attached elsewhere); *result receives child.
KST_API HRESULT DomAppendChild(xmlNode* parent, xmlNode* child, xmlNode** result);
KST_API HRESULT DomGetOwnerDocument(xmlNode* node, xmlDoc** document);
KST_API void DomAddRefNode(xmlNode* node);
KST_API void DomReleaseNode(xmlNode* node);

// ---- elements ------------------------------------------------------------------------------
// *element receives the node when it is an element (E_NOINTERFACE otherwise, *element null).
KST_API HRESULT DomQueryElement(xmlNode* node, xmlNode** element);
// The value is converted to text (VT_BSTR, integers, reals, dates, VT_BOOL as -1/0);
// VT_ERROR and VT_NULL give DISP_E_TYPEMISMATCH.
KST_API HRESULT DomSetAttribute(xmlNode* element, std::string_view name, const VARIANT& value);
// VT_BSTR; an absent attribute gives S_FALSE and VT_NULL.
KST_API HRESULT DomGetAttribute(xmlNode* element, std::string_view name, VARIANT* value);

// ---- node lists ----------------------------------------------------------------------------
// What a node list wrapper keeps between calls (a position and the length).
struct DomListCursor {
    xmlNode* parent = nullptr;
    unsigned long generation = 0;
    long index = -1;
    xmlNode* node = nullptr;
    long length = -1;
};
// *list receives the node whose children the list walks.
KST_API HRESULT DomGetChildNodes(xmlNode* node, xmlNode** list);
KST_API HRESULT DomListGetLength(xmlNode* list, DomListCursor& cursor, long* length);
// S_FALSE and a null item for an index outside the list.
KST_API HRESULT DomListGetItem(xmlNode* list, DomListCursor& cursor, long index, xmlNode** item);
KST_API void DomTreeChanged();

// ---- documents -----------------------------------------------------------------------------
struct DomParseError {
    long errorCode = 0;  // libxml2's error number
    long line = 0;
    long linepos = 0;
    long filepos = 0;
    std::string reason;
    std::string srcText;
    std::string url;
};
// A new floating node of the type (elements, texts, comments) in the document.
KST_API HRESULT DomCreateNode(xmlDoc* document, DOMNodeType type, std::string_view name,
                              xmlNode** node);
KST_API HRESULT DomCreateDocument(xmlDoc** document);
// Parses as the original platform's DOM does by default: blank text between elements is
// dropped, no network access, libxml2's limits on depth and sizes apply. The error, when
// asked for, tells why a parse failed.
KST_API HRESULT DomLoadXml(std::string_view xml, xmlDoc** document, DomParseError* error = nullptr);
KST_API HRESULT DomLoadFile(const char* path, xmlDoc** document, DomParseError* error = nullptr);
// UTF-8 with an XML declaration; indent puts elements that hold no text on lines of their own.
KST_API HRESULT DomSaveXml(xmlDoc* document, std::string& xml, bool indent = false);
KST_API HRESULT DomSaveFile(xmlDoc* document, const char* path, bool indent = false);
KST_API void DomFreeDocument(xmlDoc* document);
KST_API HRESULT DomGetDocumentElement(xmlDoc* document, xmlNode** element);
// Makes the element the document's root (the old root is freed).
KST_API HRESULT DomPutDocumentElement(xmlDoc* document, xmlNode* element);

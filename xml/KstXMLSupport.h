// The XML side of every property object: the second base of CObjectP. Each class writes its
// value into an element (its text, attributes or child elements) and reads it back; containers
// write one child element per object, named by the object's runtime class, and recreate the
// objects from those names through the registered runtime classes of every module.
#pragma once

#include "KstExport.h"
#include "KstWinTypes.h"

class CXMLNode;
class CXMLDocument;
class CObject;
class CObjectP;
struct CRuntimeClass;

class KST_API CXMLSupportInObject {
public:
    virtual ~CXMLSupportInObject() = default;
    // Writes this object into the element (bStoring) or reads it back from it.
    virtual void SerializeXML(CXMLNode& node, bool bStoring);
    // A new element in the document named by this object's runtime class, not attached.
    virtual bool CreateXMLNode(CXMLDocument& document, CXMLNode& node);
    // The same into a new wrapper that the caller owns; null on failure.
    virtual CXMLNode* CreateXMLNode(CXMLDocument& document);
    // Whether the node's name is this object's class name (case-sensitive).
    virtual bool IsXMLNodeOf(CXMLNode& node);

    // The registered class of that name: this module's first, then every other loaded
    // module's (a host's own classes too); null when none.
    static CRuntimeClass* FindRuntimeClass(LPCTSTR lpszClassName);
    static CObject* CreateObjectByClassName(LPCTSTR lpszClassName);
    // An object of the class the node's name gives; null for a node that is no element.
    static CObject* CreateObjectFromXMLNode(CXMLNode& node);

    // The steps above on any object, for containers and records.
    static bool CreateXMLNodeOf(const CObject* pObject, CXMLDocument& document, CXMLNode& node);
    static bool IsXMLNodeOfObject(const CObject* pObject, CXMLNode& node);

    // Objects nest in XML at most this deep, and less deep where the thread's stack would
    // keep under 96 KB free (a 256 KB worker stack holds a few hundred levels): deeper
    // elements are neither written nor read, so that a deep document cannot exhaust the stack.
    static constexpr int kMaxNesting = 1000;
    // A child element for pObject in parent: created in the document, appended to parent,
    // into child. False (and nothing appended) when a step fails or nesting is too deep.
    static bool AppendChildOf(const CObject* pObject, CXMLDocument& document, CXMLNode& parent,
                              CXMLNode& child);
    // A new property object for a child element (a registered class derived from CObjectP);
    // null otherwise or when nesting is too deep. The caller owns it.
    static CObjectP* CreatePropertyFromXMLNode(CXMLNode& node);
    // object.SerializeXML one nesting level deeper; false, nothing done, beyond the limit.
    static bool SerializeNested(CXMLSupportInObject& object, CXMLNode& node, bool bStoring);

protected:
    CXMLSupportInObject() = default;
    CXMLSupportInObject(const CXMLSupportInObject&) = default;
    CXMLSupportInObject& operator=(const CXMLSupportInObject&) = default;
};

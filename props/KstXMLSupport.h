// The XML side of every property object: the second base of CObjectP. The XML binding fills
// in the forms (SerializeXML of each class and the node helpers); until then the operations
// do nothing.
#pragma once

#include "KstExport.h"

class CXMLNode;
class CXMLDocument;

class KST_API CXMLSupportInObject {
public:
    virtual ~CXMLSupportInObject() = default;
    // Writes this object into the element (bStoring) or reads it back from it.
    virtual void SerializeXML(CXMLNode& node, bool bStoring);

protected:
    CXMLSupportInObject() = default;
    CXMLSupportInObject(const CXMLSupportInObject&) = default;
    CXMLSupportInObject& operator=(const CXMLSupportInObject&) = default;
};

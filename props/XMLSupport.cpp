#include "KstXMLSupport.h"

// The XML binding overrides this in every property class.
void CXMLSupportInObject::SerializeXML(CXMLNode&, bool) {}

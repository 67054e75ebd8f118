// The XML forms of the selection classes: a mask spec as its two flags and three
// "CStringArrayP" children told apart by "ThisIs"; a pattern as the owning array's form with
// its name and flag.
#include "KstMaskSpec.h"
#include "KstPattern.h"
#include "KstStringArrayP.h"
#include "KstXML.h"

namespace {

constexpr const char* kThisIs = "ThisIs";
// The children's "ThisIs" values, in the order they are stored.
constexpr const char* kParts[] = {"RelativeDir", "Include", "Exclude"};
constexpr int kNoPart = -1;

void StorePart(CXMLDocument& document, CXMLNode& node, const char* thisIs,
               const CStringArray& strings) {
    CStringArrayP array(strings);
    CXMLNode child;
    if (!array.CreateXMLNode(document, child) || !node.AppendChild(child)) return;
    // The array writes itself only into a child that says which one it is.
    if (CXMLElement(child).SetAttribute(kThisIs, thisIs)) array.SerializeXML(child, true);
}

// Which part a child holds: its "ThisIs" matched case-sensitively, on a "CStringArrayP"
// element.
int PartOf(CXMLNode& child) {
    CXMLElement element(child);
    CString thisIs;
    if (!*element.GetInterface() || !element.GetAttribute(kThisIs, thisIs)) return kNoPart;
    for (int part = 0; part < 3; ++part)
        if (thisIs == kParts[part]) return CStringArrayP().IsXMLNodeOf(child) ? part : kNoPart;
    return kNoPart;
}

}  // namespace

void CMaskSpec::SerializeXML(CXMLNode& node, bool bStoring) {
    CStringArray* const parts[] = {&m_arrRelativeDirs, &m_arrInclude, &m_arrExclude};
    CXMLElement element(node);
    if (bStoring) {
        element.SetAttribute("InclSubDirs", m_bInclSubDirs != 0);
        element.SetAttribute("SetFilesStatus", m_bSetFilesStatus != 0);
        CXMLDocument document;
        node.GetOwnerDocument(document);
        for (int part = 0; part < 3; ++part) StorePart(document, node, kParts[part], *parts[part]);
        return;
    }
    m_bInclSubDirs = element.GetBoolAttribute("InclSubDirs");
    m_bSetFilesStatus = element.GetBoolAttribute("SetFilesStatus");
    // Only the first three children count; an array without its child keeps its entries.
    CXMLNodeList children;
    if (!node.GetChildNodes(children)) return;
    for (long i = 0; i < 3 && i < children.GetLength(); ++i) {
        CXMLNode child;
        int part = children.GetItem(i, child) ? PartOf(child) : kNoPart;
        if (part == kNoPart) continue;
        CStringArrayP array;
        array.SerializeXML(child, false);
        parts[part]->RemoveAll();
        array.AppendTo(*parts[part]);
    }
}

void CPattern::SerializeXML(CXMLNode& node, bool bStoring) {
    CObjectPArrayPtr::SerializeXML(node, bStoring);
    CXMLElement element(node);
    if (bStoring) {
        element.SetAttribute("PatternName", m_strPatternName);
        element.SetAttribute("Simple", m_bSimple != 0);
        return;
    }
    CString name;  // stays empty when the attribute is missing or no string
    element.GetAttribute("PatternName", name);
    m_strPatternName = name;
    m_bSimple = element.GetBoolAttribute("Simple");
}

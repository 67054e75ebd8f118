// An XML document loaded into property objects: the root element names the class, the object
// loads from it, is stored as an archive, written back as XML and loaded from that again.
#include <memory>

#include "FuzzSupport.h"
#include "KstArchive.h"
#include "KstFile.h"
#include "KstProperties.h"
#include "KstXML.h"

namespace {

// The object as a document whose root element is named by its class; empty when it has none.
std::string StoreXml(CObjectP& object) {
    CXMLDocument document;
    if (DomCreateDocument(document.GetInterface()) != S_OK) return {};
    xmlDoc* doc = *document.GetInterface();
    std::string text;
    {
        CXMLNode root;
        if (object.CreateXMLNode(document, root) &&
            DomPutDocumentElement(doc, *root.GetInterface()) == S_OK) {
            object.SerializeXML(root, true);
            DomSaveXml(doc, text, false);
        }
    }
    DomFreeDocument(doc);
    return text;
}

// A new object of the root element's class loaded from the text; null when it names none.
std::unique_ptr<CObjectP> LoadXml(const std::string& text) {
    CXMLDocument document;
    DomParseError error;
    if (DomLoadXml(text, document.GetInterface(), &error) != S_OK) return nullptr;
    xmlDoc* doc = *document.GetInterface();
    std::unique_ptr<CObjectP> object;
    {
        CXMLNode root;
        DomGetDocumentElement(doc, root.GetInterface());
        object.reset(CXMLSupportInObject::CreatePropertyFromXMLNode(root));
        if (object) object->SerializeXML(root, false);
    }
    DomFreeDocument(doc);
    return object;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<CObjectP> object =
        LoadXml(std::string(reinterpret_cast<const char*>(data), size));
    if (!object) return 0;
    kstfuzz::Raises([&] {
        CMemFile file;
        CArchive ar(&file, CArchive::store);
        ar.WriteObject(object.get());
        ar.Close();
    });
    std::string text = StoreXml(*object);
    kstfuzz::Require(!text.empty(), "a loaded object cannot be written as XML");
    std::unique_ptr<CObjectP> again = LoadXml(text);
    kstfuzz::Require(again != nullptr, "the written XML does not load back");
    return 0;
}

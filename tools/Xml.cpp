// kst props-show --xml / props-from-xml: a stored property object as an XML document whose
// root element is named by the object's class, and such a document stored as an archive.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "Commands.h"
#include "KstArchive.h"
#include "KstFile.h"
#include "KstProperties.h"
#include "KstXML.h"

namespace kstool {
namespace {

struct {
    bool xml = false;
    std::string xmlFile, archive;
} xml;

// The property object stored in the archive file, printed as an XML document.
int PropsShowXml(const std::string& path) {
    std::string why = WhyNotReadable(path);
    if (!why.empty()) return Failure("cannot read " + path + ": " + why);
    std::unique_ptr<CObject> object;
    try {
        CFile file(path.c_str(), CFile::modeRead);
        CArchive ar(&file, CArchive::load);
        object.reset(ar.ReadObject(nullptr));
    } catch (CException* e) {
        return ReportException(e, "cannot read " + path);
    }
    auto* property = dynamic_cast<CObjectP*>(object.get());
    if (!property) return Failure(path + " holds no property object");
    CXMLDocument document;
    DomCreateDocument(document.GetInterface());
    xmlDoc* doc = *document.GetInterface();
    std::string text;
    {
        CXMLNode root;
        if (property->CreateXMLNode(document, root) &&
            DomPutDocumentElement(doc, *root.GetInterface()) == S_OK)
            property->SerializeXML(root, true);
        DomSaveXml(doc, text, true);
    }
    DomFreeDocument(doc);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

}  // namespace

int LoadXmlProperty(const std::string& path, std::unique_ptr<CObjectP>& object) {
    std::string why = WhyNotReadable(path);
    if (!why.empty()) return Failure("cannot read " + path + ": " + why);
    CXMLDocument document;
    DomParseError error;
    if (DomLoadFile(path.c_str(), document.GetInterface(), &error) != S_OK) {
        CString text = document.FormatParseError(CXMLParseError(error));
        text.Replace("\n", " ");
        return Failure("cannot parse " + path + ": " + text.str());
    }
    xmlDoc* doc = *document.GetInterface();
    int result = 0;
    {
        CXMLNode root;
        DomGetDocumentElement(doc, root.GetInterface());
        object.reset(CXMLSupportInObject::CreatePropertyFromXMLNode(root));
        if (object)
            object->SerializeXML(root, false);
        else
            result = Failure("the root element <" + root.GetName().str() + "> of " + path +
                             " names no property class");
    }
    DomFreeDocument(doc);
    return result;
}

namespace {

// The object an XML document describes, stored as an archive, as props-write stores a set.
int PropsFromXml() {
    std::unique_ptr<CObjectP> object;
    if (int failed = LoadXmlProperty(xml.xmlFile, object)) return failed;
    try {
        CFile file(xml.archive.c_str(), CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        ar.WriteObject(object.get());
        ar.Close();
        file.Close();
    } catch (CException* e) {
        return ReportException(e, "cannot write " + xml.archive);
    }
    return 0;
}

Registration xmlCommands({"props-from-xml"}, {"props-show"}, [](CLI::App& kst) {
    CLI::App* fromXml = AddCommand(
        kst, "props-from-xml",
        "store the property object of an XML document (root element named by its class) as an "
        "archive file",
        PropsFromXml);
    fromXml->add_option("XMLFILE", xml.xmlFile, "the document to read")->required();
    fromXml->add_option("ARCHIVE", xml.archive, "the archive file to write")->required();

    // props-show (of the property commands) prints a tree; --xml prints the document instead,
    // once the command line is complete.
    CLI::App* show = nullptr;
    try {
        show = kst.get_subcommand("props-show");
    } catch (const CLI::Error&) {
        return;
    }
    show->add_flag("--xml", xml.xml, "print the object as an XML document named by its class");
    show->final_callback([show] {
        if (!xml.xml) return;
        int code = PropsShowXml(show->get_option("FILE")->as<std::string>());
        std::fflush(stdout);
        std::exit(code);
    });
});

}  // namespace
}  // namespace kstool

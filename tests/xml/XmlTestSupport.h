// A document with one root element to store objects into, and its text parsed back.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "KstProperties.h"
#include "KstXML.h"

namespace xmltest {

// Owns a document; Root() is its root element, named by the caller.
class Document {
public:
    explicit Document(const char* rootName = "Root") {
        EXPECT_EQ(DomCreateDocument(m_doc.GetInterface()), S_OK);
        EXPECT_TRUE(m_doc.CreateElement(rootName, m_root));
        EXPECT_EQ(DomPutDocumentElement(Doc(), *m_root.GetInterface()), S_OK);
    }
    // Parses text (blank text between elements dropped).
    static Document Parse(const std::string& xml) { return Document(xml, 0); }
    Document(Document&& other) noexcept {
        std::swap(*m_doc.GetInterface(), *other.m_doc.GetInterface());
        std::swap(*m_root.GetInterface(), *other.m_root.GetInterface());
    }
    // Frees the document before the root's wrapper lets go of its node, as hosts do.
    ~Document() { DomFreeDocument(Doc()); }

    xmlDoc* Doc() { return *m_doc.GetInterface(); }
    CXMLDocument& Wrapper() { return m_doc; }
    CXMLNode& Root() { return m_root; }
    std::string Text(bool indent = false) {
        std::string xml;
        EXPECT_EQ(DomSaveXml(Doc(), xml, indent), S_OK);
        return xml;
    }

private:
    Document(const std::string& xml, int) {
        DomParseError error;
        EXPECT_EQ(DomLoadXml(xml, m_doc.GetInterface(), &error), S_OK) << error.reason;
        if (Doc()) DomGetDocumentElement(Doc(), m_root.GetInterface());
    }
    CXMLDocument m_doc;
    CXMLNode m_root;
};

// The object stored under a root element, as document text.
inline std::string Store(CObjectP& object, const char* rootName = "Root") {
    Document doc(rootName);
    object.SerializeXML(doc.Root(), true);
    return doc.Text();
}

// Loads the object from the root element of the text.
inline void Load(const std::string& xml, CObjectP& object) {
    Document doc = Document::Parse(xml);
    object.SerializeXML(doc.Root(), false);
}

}  // namespace xmltest

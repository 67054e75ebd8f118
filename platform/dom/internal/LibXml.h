// libxml2's functions as the DOM calls them, bound when the DOM is first used: a host that
// never touches XML does not load libxml2 (and the libraries it pulls in) at start.
#pragma once

#include <libxml/parser.h>
#include <libxml/tree.h>

#include "KstWinTypes.h"

namespace kst::detail {

#define KST_LIBXML_FUNCTIONS(F)  \
    F(xmlCtxtGetLastError)       \
    F(xmlCtxtReadMemory)         \
    F(xmlDocDumpFormatMemoryEnc) \
    F(xmlDocGetRootElement)      \
    F(xmlDocSetRootElement)      \
    F(xmlFreeDoc)                \
    F(xmlFreeNode)               \
    F(xmlFreeNodeList)           \
    F(xmlFreeParserCtxt)         \
    F(xmlInitParser)             \
    F(xmlNewComment)             \
    F(xmlNewDoc)                 \
    F(xmlNewDocTextLen)          \
    F(xmlNewNode)                \
    F(xmlNewNs)                  \
    F(xmlNewParserCtxt)          \
    F(xmlNewText)                \
    F(xmlNodeGetContent)         \
    F(xmlNodeSetContentLen)      \
    F(xmlReconciliateNs)         \
    F(xmlRemoveProp)             \
    F(xmlSaveFormatFileEnc)      \
    F(xmlSearchNsByHref)         \
    F(xmlSetNsProp)              \
    F(xmlSetProp)                \
    F(xmlSetTreeDoc)             \
    F(xmlUnlinkNode)             \
    F(xmlValidateName)

struct LibXml {
#define KST_LIBXML_MEMBER(name) decltype(&::name) name = nullptr;
    KST_LIBXML_FUNCTIONS(KST_LIBXML_MEMBER)
#undef KST_LIBXML_MEMBER
    xmlFreeFunc* freeFunction = nullptr;  // libxml2's xmlFree is a variable, set by the host
    void xmlFree(void* memory) const {
        (*freeFunction)(memory);
    }
};

// The bound functions, the parser initialised; null when libxml2 cannot be loaded.
const LibXml* TryLibXml();

// For calls on nodes that exist, so libxml2 is loaded (by the DOM or by the host itself).
const LibXml& Lib();

}  // namespace kst::detail

// The DOM calls over libxml2's tree.
#include "KstXmlDom.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <unordered_map>

#include "KstTime.h"
#include "internal/CodePage.h"
#include "internal/LibXml.h"

namespace {

using kst::detail::AnsiCodePage;

const xmlChar* X(const char* text) {
    return reinterpret_cast<const xmlChar*>(text);
}
const char* C(const xmlChar* text) {
    return reinterpret_cast<const char*>(text);
}

using kst::detail::Lib;

// ---- texts: the ANSI code page outside, UTF-8 inside ---------------------------------------

bool IsValidUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len = (c >= 0xC2 && c < 0xE0)   ? 2
                     : (c >= 0xE0 && c < 0xF0) ? 3
                     : (c >= 0xF0 && c < 0xF5) ? 4
                                               : 0;
        if (len == 0 || i + len > s.size()) return false;
        unsigned cp = c & (0x7F >> len);
        for (size_t k = 1; k < len; ++k) {
            unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp < 0xE000))) ||
            (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += len;
    }
    return true;
}

bool IsAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

// The DOM's form of an ANSI text, NUL-terminated: the text itself when it needs no change.
// Bytes that are no character of the page become U+FFFD.
std::string ToDom(std::string_view ansi) {
    unsigned page = AnsiCodePage();
    if (IsAscii(ansi) || (page == CP_UTF8 && IsValidUtf8(ansi))) return std::string(ansi);
    return kst::detail::FromUtf16(kst::detail::ToUtf16(ansi, page), CP_UTF8);
}

std::string FromDom(const xmlChar* utf8) {
    if (!utf8) return {};
    std::string_view text(C(utf8));
    if (AnsiCodePage() == CP_UTF8 || IsAscii(text)) return std::string(text);
    return kst::detail::Convert(text, CP_UTF8, CP_ACP);
}

BSTR Utf8ToBstr(std::string_view utf8) {
    std::u16string wide = kst::detail::ToUtf16(utf8, CP_UTF8);
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

std::string BstrToUtf8(BSTR text) {
    return kst::detail::FromUtf16(std::u16string_view(text, SysStringLen(text)), CP_UTF8);
}

// ---- floating nodes --------------------------------------------------------------------------
// A node made by DomCreateNode stays outside every document (doc null) until it is attached.
// While it floats, the registry below holds its owner document and its count of references.
// The registry is keyed by address and never reads a node it does not hold, so a wrapper
// released after its document was freed touches no freed memory.

struct Floating {
    xmlDoc* owner;
    unsigned refs;
};

std::atomic<unsigned long> g_generation{1};

void Changed() {
    g_generation.fetch_add(1, std::memory_order_relaxed);
}

std::mutex& FloatingLock() {
    static std::mutex lock;
    return lock;
}
std::unordered_map<const xmlNode*, Floating>& FloatingNodes() {
    static auto* nodes = new std::unordered_map<const xmlNode*, Floating>;
    return *nodes;
}

// The registry's entry of a node that still floats (not linked in by libxml2 directly).
Floating* FindFloating(const xmlNode* node) {
    if (!node) return nullptr;
    auto& nodes = FloatingNodes();
    auto it = nodes.find(node);
    return it != nodes.end() && !node->parent ? &it->second : nullptr;
}

void StartFloating(const xmlNode* node, xmlDoc* owner) {
    std::lock_guard guard(FloatingLock());
    FloatingNodes()[node] = Floating{owner, 1};
}

void Settle(const xmlNode* node) {
    std::lock_guard guard(FloatingLock());
    FloatingNodes().erase(node);
}

bool IsAncestorOrSelf(const xmlNode* candidate, const xmlNode* node) {
    for (; node; node = node->parent)
        if (node == candidate) return true;
    return false;
}

// Links child as the last child of parent, without merging adjacent texts (so the child
// stays the node the caller holds).
void LinkLast(xmlNode* parent, xmlNode* child) {
    child->parent = parent;
    child->next = nullptr;
    child->prev = parent->last;
    if (parent->last)
        parent->last->next = child;
    else
        parent->children = child;
    parent->last = child;
}

const xmlAttr* FindAttribute(const xmlNode* element, std::string_view name) {
    size_t colon = name.find(':');
    for (const xmlAttr* a = element->properties; a; a = a->next) {
        if (colon == std::string_view::npos) {
            if (!a->ns && name == C(a->name)) return a;
        } else if (a->ns && a->ns->prefix && name.substr(0, colon) == C(a->ns->prefix) &&
                   name.substr(colon + 1) == C(a->name)) {
            return a;
        }
    }
    return nullptr;
}

std::string AttributeValue(const xmlAttr* attribute) {
    const xmlNode* first = attribute->children;
    if (!first) return {};
    if (!first->next && first->type == XML_TEXT_NODE) return C(first->content);
    xmlChar* value = Lib().xmlNodeGetContent(reinterpret_cast<const xmlNode*>(attribute));
    std::string result = value ? C(value) : "";
    Lib().xmlFree(value);
    return result;
}

bool IsDateTime(const xmlNode* node) {
    if (node->type != XML_ELEMENT_NODE) return false;
    for (const xmlAttr* a = node->properties; a; a = a->next)
        if (a->ns && a->ns->href && strcmp(C(a->name), "dt") == 0 &&
            strcmp(C(a->ns->href), KST_DOM_DATATYPES_NS) == 0)
            return AttributeValue(a) == "dateTime";
    return false;
}

std::string NodeTextUtf8(const xmlNode* node) {
    if (node->type == XML_ELEMENT_NODE || node->type == XML_DOCUMENT_FRAG_NODE) {
        const xmlNode* first = node->children;
        if (!first) return {};
        if (!first->next && first->type == XML_TEXT_NODE)
            return first->content ? C(first->content) : "";
    }
    xmlChar* text = Lib().xmlNodeGetContent(node);
    std::string result = text ? C(text) : "";
    Lib().xmlFree(text);
    return result;
}

HRESULT PutTextUtf8(xmlNode* node, std::string_view utf8) {
    if (node->type == XML_ELEMENT_NODE) {
        if (node->children) {
            xmlNode* old = node->children;
            node->children = node->last = nullptr;
            Lib().xmlFreeNodeList(old);
        }
        if (!utf8.empty()) {
            xmlNode* text =
                Lib().xmlNewDocTextLen(node->doc, X(utf8.data()), static_cast<int>(utf8.size()));
            if (!text) return E_OUTOFMEMORY;
            LinkLast(node, text);
        }
    } else if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE ||
               node->type == XML_COMMENT_NODE || node->type == XML_PI_NODE) {
        Lib().xmlNodeSetContentLen(node, X(utf8.data()), static_cast<int>(utf8.size()));
    } else {
        return E_FAIL;
    }
    Changed();
    return S_OK;
}

bool ValidName(const std::string& utf8) {
    return !utf8.empty() && Lib().xmlValidateName(X(utf8.c_str()), 0) == 0;
}

}  // namespace

// ---- nodes -----------------------------------------------------------------------------------

HRESULT DomGetNodeName(xmlNode* node, std::string& name) {
    if (!node) return E_POINTER;
    switch (node->type) {
        case XML_TEXT_NODE:
            name = "#text";
            return S_OK;
        case XML_CDATA_SECTION_NODE:
            name = "#cdata-section";
            return S_OK;
        case XML_COMMENT_NODE:
            name = "#comment";
            return S_OK;
        case XML_DOCUMENT_NODE:
        case XML_HTML_DOCUMENT_NODE:
            name = "#document";
            return S_OK;
        case XML_DOCUMENT_FRAG_NODE:
            name = "#document-fragment";
            return S_OK;
        default:
            break;
    }
    if (!node->name) return E_FAIL;
    if (node->type == XML_ELEMENT_NODE && node->ns && node->ns->prefix)
        name = FromDom(node->ns->prefix) + ":" + FromDom(node->name);
    else
        name = FromDom(node->name);
    return S_OK;
}

HRESULT DomGetNodeType(xmlNode* node, DOMNodeType& type) {
    if (!node) return E_POINTER;
    int t = node->type;
    type = t <= XML_NOTATION_NODE        ? static_cast<DOMNodeType>(t)
           : t == XML_HTML_DOCUMENT_NODE ? NODE_DOCUMENT
           : t == XML_DTD_NODE           ? NODE_DOCUMENT_TYPE
                                         : NODE_INVALID;
    return S_OK;
}

HRESULT DomGetText(xmlNode* node, std::string& text) {
    if (!node) return E_POINTER;
    std::string utf8 = NodeTextUtf8(node);
    text = AnsiCodePage() == CP_UTF8 || IsAscii(utf8) ? std::move(utf8)
                                                      : kst::detail::Convert(utf8, CP_UTF8, CP_ACP);
    return S_OK;
}

HRESULT DomPutText(xmlNode* node, std::string_view text) {
    if (!node) return E_POINTER;
    return PutTextUtf8(node, ToDom(text));
}

HRESULT DomGetTypedValue(xmlNode* node, VARIANT* value) {
    if (!node || !value) return E_POINTER;
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = Utf8ToBstr(NodeTextUtf8(node));
    if (!text.bstrVal) return E_OUTOFMEMORY;
    if (IsDateTime(node)) {
        HRESULT hr = VariantChangeType(&text, &text, 0, VT_DATE);
        if (hr != S_OK) {
            VariantClear(&text);
            return E_FAIL;
        }
    }
    VariantClear(value);
    *value = text;
    return S_OK;
}

HRESULT DomPutTypedValue(xmlNode* node, const VARIANT& value) {
    if (!node) return E_POINTER;
    VARIANT converted;
    VariantInit(&converted);
    HRESULT hr;
    if (IsDateTime(node)) {
        // A date's text is YYYY-MM-DDTHH:MM:SS, the form VT_DATE converts to.
        hr = VariantChangeType(&converted, &value, 0, VT_DATE);
        if (hr == S_OK) hr = VariantChangeType(&converted, &converted, 0, VT_BSTR);
    } else {
        hr = VariantChangeType(&converted, &value, 0, VT_BSTR);
    }
    if (hr != S_OK) return hr;
    hr = PutTextUtf8(node, BstrToUtf8(converted.bstrVal));
    VariantClear(&converted);
    return hr;
}

HRESULT DomPutDataType(xmlNode* node, std::string_view type) {
    if (!node) return E_POINTER;
    if (node->type != XML_ELEMENT_NODE) return E_FAIL;
    if (type.empty()) {
        for (xmlAttr* a = node->properties; a; a = a->next)
            if (a->ns && strcmp(C(a->name), "dt") == 0 &&
                strcmp(C(a->ns->href), KST_DOM_DATATYPES_NS) == 0) {
                Lib().xmlRemoveProp(a);
                break;
            }
        return S_OK;
    }
    if (type != "dateTime" && type != "string") return E_FAIL;
    xmlNs* ns = Lib().xmlSearchNsByHref(node->doc, node, X(KST_DOM_DATATYPES_NS));
    if (!ns) ns = Lib().xmlNewNs(node, X(KST_DOM_DATATYPES_NS), X("dt"));
    for (int k = 0; !ns && k < 10; ++k) {  // "dt" is taken on this element
        char prefix[8];
        snprintf(prefix, sizeof prefix, "dt%d", k);
        ns = Lib().xmlNewNs(node, X(KST_DOM_DATATYPES_NS), X(prefix));
    }
    if (!ns) return E_FAIL;
    std::string value(type);
    return Lib().xmlSetNsProp(node, ns, X("dt"), X(value.c_str())) ? S_OK : E_OUTOFMEMORY;
}

HRESULT DomAppendChild(xmlNode* parent, xmlNode* child, xmlNode** result) {
    if (!parent || !child || !result) return E_POINTER;
    *result = nullptr;
    if (parent->type != XML_ELEMENT_NODE) return E_FAIL;
    switch (child->type) {
        case XML_ELEMENT_NODE:
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
        case XML_COMMENT_NODE:
        case XML_PI_NODE:
        case XML_ENTITY_REF_NODE:
            break;
        default:
            return E_FAIL;
    }
    if (child == parent || (child->children && IsAncestorOrSelf(child, parent))) return E_FAIL;
    bool moved = child->parent != nullptr;
    if (moved) Lib().xmlUnlinkNode(child);
    Settle(child);
    LinkLast(parent, child);
    if (child->doc != parent->doc) Lib().xmlSetTreeDoc(child, parent->doc);
    if (moved && parent->doc) Lib().xmlReconciliateNs(parent->doc, child);
    Changed();
    *result = child;
    return S_OK;
}

HRESULT DomGetOwnerDocument(xmlNode* node, xmlDoc** document) {
    if (!node || !document) return E_POINTER;
    {
        std::lock_guard guard(FloatingLock());
        Floating* floating = FindFloating(node);
        *document = floating ? floating->owner : node->doc;
    }
    return *document ? S_OK : S_FALSE;
}

void DomAddRefNode(xmlNode* node) {
    std::lock_guard guard(FloatingLock());
    if (Floating* floating = FindFloating(node)) ++floating->refs;
}

void DomReleaseNode(xmlNode* node) {
    {
        std::lock_guard guard(FloatingLock());
        Floating* floating = FindFloating(node);
        if (!floating || --floating->refs > 0) return;
        FloatingNodes().erase(node);
    }
    Lib().xmlFreeNode(node);
    Changed();
}

// ---- elements ----------------------------------------------------------------------------------

HRESULT DomQueryElement(xmlNode* node, xmlNode** element) {
    if (!node || !element) return E_POINTER;
    *element = nullptr;
    if (node->type != XML_ELEMENT_NODE) return E_NOINTERFACE;
    DomAddRefNode(node);
    *element = node;
    return S_OK;
}

HRESULT DomSetAttribute(xmlNode* element, std::string_view name, const VARIANT& value) {
    if (!element) return E_POINTER;
    if (element->type != XML_ELEMENT_NODE) return E_FAIL;
    std::string utf8Name = ToDom(name);
    if (!ValidName(utf8Name)) return E_INVALIDARG;
    std::string text;
    if (value.vt == VT_BSTR) {
        text = BstrToUtf8(value.bstrVal);
    } else if (value.vt == VT_I4) {
        text = std::to_string(value.lVal);
    } else if (value.vt == VT_ERROR || value.vt == VT_NULL) {
        return DISP_E_TYPEMISMATCH;
    } else {
        VARIANT converted;
        VariantInit(&converted);
        HRESULT hr = VariantChangeType(&converted, &value, 0, VT_BSTR);
        if (hr != S_OK) return hr;
        text = BstrToUtf8(converted.bstrVal);
        VariantClear(&converted);
    }
    return Lib().xmlSetProp(element, X(utf8Name.c_str()), X(text.c_str())) ? S_OK : E_OUTOFMEMORY;
}

HRESULT DomGetAttribute(xmlNode* element, std::string_view name, VARIANT* value) {
    if (!element || !value) return E_POINTER;
    if (element->type != XML_ELEMENT_NODE) return E_FAIL;
    VariantClear(value);
    const xmlAttr* attribute = FindAttribute(element, ToDom(name));
    if (!attribute) {
        value->vt = VT_NULL;
        return S_FALSE;
    }
    BSTR text = Utf8ToBstr(AttributeValue(attribute));
    if (!text) return E_OUTOFMEMORY;
    value->vt = VT_BSTR;
    value->bstrVal = text;
    return S_OK;
}

// ---- node lists --------------------------------------------------------------------------------

HRESULT DomGetChildNodes(xmlNode* node, xmlNode** list) {
    if (!node || !list) return E_POINTER;
    DomAddRefNode(node);
    *list = node;
    return S_OK;
}

namespace {

void Refresh(xmlNode* list, DomListCursor& cursor) {
    unsigned long now = g_generation.load(std::memory_order_relaxed);
    if (cursor.parent == list && cursor.generation == now) return;
    cursor = DomListCursor{};
    cursor.parent = list;
    cursor.generation = now;
}

}  // namespace

HRESULT DomListGetLength(xmlNode* list, DomListCursor& cursor, long* length) {
    if (!list || !length) return E_POINTER;
    Refresh(list, cursor);
    if (cursor.length < 0) {
        long n = 0;
        if (list->type != XML_ENTITY_REF_NODE)
            for (xmlNode* c = list->children; c; c = c->next) ++n;
        cursor.length = n;
    }
    *length = cursor.length;
    return S_OK;
}

HRESULT DomListGetItem(xmlNode* list, DomListCursor& cursor, long index, xmlNode** item) {
    if (!list || !item) return E_POINTER;
    *item = nullptr;
    Refresh(list, cursor);
    if (index < 0 || list->type == XML_ENTITY_REF_NODE) return S_FALSE;
    xmlNode* node = list->children;
    long at = 0;
    if (cursor.node && cursor.index <= index) {
        node = cursor.node;
        at = cursor.index;
    }
    for (; node && at < index; ++at) node = node->next;
    if (!node) {
        if (cursor.length < 0 && at < index) cursor.length = at;
        return S_FALSE;
    }
    cursor.node = node;
    cursor.index = index;
    *item = node;
    return S_OK;
}

void DomTreeChanged() {
    Changed();
}

// ---- documents ---------------------------------------------------------------------------------

HRESULT DomCreateNode(xmlDoc* document, DOMNodeType type, std::string_view name, xmlNode** node) {
    if (!node) return E_POINTER;
    *node = nullptr;
    if (!document) return E_POINTER;
    xmlNode* created = nullptr;
    switch (type) {
        case NODE_ELEMENT: {
            std::string utf8 = ToDom(name);
            if (!ValidName(utf8)) return E_INVALIDARG;
            created = Lib().xmlNewNode(nullptr, X(utf8.c_str()));
            break;
        }
        case NODE_TEXT:
            created = Lib().xmlNewText(X(""));
            break;
        case NODE_COMMENT:
            created = Lib().xmlNewComment(X(""));
            break;
        default:
            return E_INVALIDARG;
    }
    if (!created) return E_OUTOFMEMORY;
    StartFloating(created, document);
    *node = created;
    return S_OK;
}

HRESULT DomCreateDocument(xmlDoc** document) {
    if (!document) return E_POINTER;
    *document = nullptr;
    if (!kst::detail::TryLibXml()) return REGDB_E_CLASSNOTREG;
    *document = Lib().xmlNewDoc(X("1.0"));
    return *document ? S_OK : E_OUTOFMEMORY;
}

namespace {

HRESULT Parse(std::string_view xml, const char* url, xmlDoc** document, DomParseError* error) {
    if (!document) return E_POINTER;
    *document = nullptr;
    if (!kst::detail::TryLibXml()) return REGDB_E_CLASSNOTREG;
    xmlParserCtxtPtr context = Lib().xmlNewParserCtxt();
    if (!context) return E_OUTOFMEMORY;
    *document = Lib().xmlCtxtReadMemory(
        context, xml.data(), static_cast<int>(xml.size()), url, nullptr,
        XML_PARSE_NOBLANKS | XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    HRESULT hr = *document ? S_OK : E_FAIL;
    if (!*document && error) {
        const xmlError* e = Lib().xmlCtxtGetLastError(context);
        *error = DomParseError{};
        error->url = url ? url : "";
        if (e) {
            error->errorCode = e->code;
            error->line = e->line;
            error->linepos = e->int2;
            error->reason = e->message ? e->message : "";
            while (!error->reason.empty() && error->reason.back() == '\n') error->reason.pop_back();
        }
        // The line's text and the offset, from the input itself.
        size_t start = 0;
        for (long line = 1; line < error->line && start != std::string_view::npos; ++line) {
            start = xml.find('\n', start);
            if (start != std::string_view::npos) ++start;
        }
        if (start != std::string_view::npos && error->line > 0) {
            size_t end = xml.find('\n', start);
            error->srcText =
                std::string(xml.substr(start, end == std::string_view::npos ? end : end - start));
            error->filepos =
                static_cast<long>(start) + (error->linepos > 0 ? error->linepos - 1 : 0);
        }
    }
    Lib().xmlFreeParserCtxt(context);
    return hr;
}

}  // namespace

HRESULT DomLoadXml(std::string_view xml, xmlDoc** document, DomParseError* error) {
    return Parse(xml, nullptr, document, error);
}

namespace {

// A regular file's text in one allocation (growing a string piece by piece costs more than
// the parse); a pipe piece by piece. A folder opens but throws on the first read.
bool ReadWholeFile(const char* path, std::string& bytes) {
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in) return false;
        std::error_code error;
        auto size = std::filesystem::file_size(path, error);
        if (!error) {
            bytes.resize(size);
            in.read(bytes.data(), static_cast<std::streamsize>(size));
            bytes.resize(static_cast<size_t>(in.gcount()));
        }
        // The rest: all of a pipe, or what a file gained meanwhile.
        bytes.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

HRESULT DomLoadFile(const char* path, xmlDoc** document, DomParseError* error) {
    if (!path || !document) return E_POINTER;
    std::string xml;
    if (!ReadWholeFile(path, xml)) {
        *document = nullptr;
        if (error) {
            *error = DomParseError{};
            error->url = path;
            error->reason = "the file cannot be read";
        }
        return E_FAIL;
    }
    return Parse(xml, path, document, error);
}

HRESULT DomSaveXml(xmlDoc* document, std::string& xml, bool indent) {
    if (!document) return E_POINTER;
    xmlChar* memory = nullptr;
    int size = 0;
    Lib().xmlDocDumpFormatMemoryEnc(document, &memory, &size, "UTF-8", indent ? 1 : 0);
    if (!memory) return E_FAIL;
    xml.assign(C(memory), static_cast<size_t>(size));
    Lib().xmlFree(memory);
    return S_OK;
}

HRESULT DomSaveFile(xmlDoc* document, const char* path, bool indent) {
    if (!document || !path) return E_POINTER;
    return Lib().xmlSaveFormatFileEnc(path, document, "UTF-8", indent ? 1 : 0) < 0 ? E_FAIL : S_OK;
}

void DomFreeDocument(xmlDoc* document) {
    if (!document) return;
    Lib().xmlFreeDoc(document);
    Changed();
}

HRESULT DomGetDocumentElement(xmlDoc* document, xmlNode** element) {
    if (!document || !element) return E_POINTER;
    *element = Lib().xmlDocGetRootElement(document);
    return *element ? S_OK : S_FALSE;
}

HRESULT DomPutDocumentElement(xmlDoc* document, xmlNode* element) {
    if (!document || !element) return E_POINTER;
    if (element->type != XML_ELEMENT_NODE) return E_FAIL;
    if (element->parent) Lib().xmlUnlinkNode(element);
    Settle(element);
    xmlNode* old = Lib().xmlDocSetRootElement(document, element);
    if (old && old != element) Lib().xmlFreeNode(old);
    Changed();
    return S_OK;
}

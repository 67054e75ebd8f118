// Binds libxml2 at first use of the DOM.
#include "internal/LibXml.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace kst::detail {
namespace {

// The library the build compiled against (its soname, from CMake).
constexpr const char* kLibXmlName = KST_LIBXML2_SONAME;

const LibXml* Bind() {
    // Already loaded when the host links libxml2 itself; then this finds the same copy.
    void* library = dlopen(kLibXmlName, RTLD_NOW | RTLD_LOCAL);
    if (!library) return nullptr;
    static LibXml lib;
    bool complete = true;
#define KST_LIBXML_BIND(name)                                               \
    lib.name = reinterpret_cast<decltype(lib.name)>(dlsym(library, #name)); \
    complete = complete && lib.name;
    KST_LIBXML_FUNCTIONS(KST_LIBXML_BIND)
#undef KST_LIBXML_BIND
    lib.freeFunction = static_cast<xmlFreeFunc*>(dlsym(library, "xmlFree"));
    if (!complete || !lib.freeFunction) return nullptr;  // kept loaded: it may be the host's
    lib.xmlInitParser();
    return &lib;
}

}  // namespace

const LibXml* TryLibXml() {
    static const LibXml* lib = Bind();
    return lib;
}

const LibXml& Lib() {
    const LibXml* lib = TryLibXml();
    if (!lib) {
        std::fprintf(stderr, "KstSystem: %s cannot be loaded\n", kLibXmlName);
        std::abort();
    }
    return *lib;
}

}  // namespace kst::detail

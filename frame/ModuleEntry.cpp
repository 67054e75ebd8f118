// The module's entry and version. The entry runs when the library is loaded, after every
// global object of the module is built, and when it is unloaded, before any of them is
// destroyed. The build links this file last, so its global object comes up last and goes
// down first.
#include "KstModule.h"
#include "KstSystem.h"
#include "KstTraceLog.h"
#include "internal/Libraries.h"

namespace {

AFX_EXTENSION_MODULE s_extensionModule = {};

HMODULE ThisModule() {
    return kst::detail::ModuleOfAddress(reinterpret_cast<const void*>(&ThisModule));
}

struct ModuleEntry {
    ModuleEntry() {
        CTraceLog_Trace("%s", "KstSystem.DLL Initializing!\n");
        // A shared object cannot refuse its load from here; the record only fails when it
        // was set up already, which a single load never does.
        if (!AfxInitExtensionModule(s_extensionModule, ThisModule())) return;
        new CDynLinkLibrary(s_extensionModule, FALSE);  // owned by the module chain
    }
    ~ModuleEntry() {
        CTraceLog_Trace("%s", "KstSystem.DLL Terminating!\n");
        AfxTermExtensionModule(s_extensionModule, FALSE);
    }
} s_moduleEntry;

}  // namespace

const char* KstSystemVersion() {
    return KST_SYSTEM_VERSION;
}

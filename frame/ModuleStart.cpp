// The first step of the module's load, before any of its global objects is built: from here
// on the classes that register belong to this module's extension record (completed in
// ModuleEntry.cpp). The build links this file first.
#include "KstModule.h"

namespace {

struct RawExtensionStep {
    RawExtensionStep() { AfxRawExtensionModuleAttach(); }
} s_rawExtensionStep;

}  // namespace

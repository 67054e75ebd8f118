// The module's global objects, in the order the module builds them when it is loaded; the
// runtime reverses the order when it is unloaded. This file fixes that order: keep it the
// only place that defines them.
#include "KstModule.h"
#include "KstTraceLog.h"
#include "internal/DebugPipe.h"

namespace {

// Before any of the module's own globals: the classes registered from here on belong to
// this module's extension record (see ModuleEntry.cpp).
struct RawExtensionStep {
    RawExtensionStep() { AfxRawExtensionModuleAttach(); }
} s_rawExtensionStep;

}  // namespace

// The debug pipe settings come before the trace log that uses them; their destruction does
// nothing.
kst::detail::DebugPipeSettings kst::detail::g_debugPipe;

CTraceLog cTraceLogGlobal;

// The property classes register next, from their own sources, which the build links after
// this folder's.

// The module's global objects, in the order the module builds them when it is loaded; the
// runtime reverses the order when it is unloaded. This file fixes that order: keep it the
// only place that defines them.
#include "KstLocalization.h"
#include "KstTraceLog.h"
#include "internal/DebugPipe.h"

// The file info record's class registration and the lock marker's key strings belong here,
// before theMessage. Their folders link after props/, whose registrations must follow
// cTraceLogGlobal, so left in their own sources they would come up too late: define them in
// this file.

CLocalizationCollection theMessage;

// The registrations of CMaskSpec, CPattern and CPatternArray belong here, for the same reason.

// The debug pipe settings come before the trace log that uses them; their destruction does
// nothing.
kst::detail::DebugPipeSettings kst::detail::g_debugPipe;

CTraceLog cTraceLogGlobal;

// The property classes register next, from their own sources, which the build links after
// this folder's.

// The module's global objects, in the order the module builds them when it is loaded; the
// runtime reverses the order when it is unloaded. This file fixes that order: keep it the
// only place that defines them.
#include "KstFileInfo.h"
#include "KstFileLockMarker.h"
#include "KstLocalization.h"
#include "KstMaskSpec.h"
#include "KstPattern.h"
#include "KstTraceLog.h"
#include "internal/DebugPipe.h"

// The file info record's class registration and the lock marker's key strings come first.
// Their folder links after props/, whose registrations must follow cTraceLogGlobal, so left in
// their own sources they would come up too late.
IMPLEMENT_SERIAL(CFileInfo, CObjectP, 1)

const CString CFileLockMarker::KeyPath("Path");
const CString CFileLockMarker::KeyTime("Time");
const CString CFileLockMarker::KeyClient("Client");
const CString CFileLockMarker::KeyServer("Server");
const CString CFileLockMarker::KeyUser("User");
const CString CFileLockMarker::KeyMode("Mode");
const CString CFileLockMarker::ModeExclusive("Exclusive");
const CString CFileLockMarker::ModeWrite("Write");

CLocalizationCollection theMessage;

// The registrations of the file-selection classes, here for the same reason.
IMPLEMENT_SERIAL(CMaskSpec, CObjectP, 1)
// The pattern names the owning array as its base: the mask list between them declares no
// class of its own.
IMPLEMENT_SERIAL(CPattern, CObjectPArrayPtr, 1)
IMPLEMENT_SERIAL(CPatternArray, CObjectPArrayPtr, 1)

// The debug pipe settings come before the trace log that uses them; their destruction does
// nothing.
kst::detail::DebugPipeSettings kst::detail::g_debugPipe;

CTraceLog cTraceLogGlobal;

// The property classes register next, from their own sources, which the build links after
// this folder's.

// The module-wide settings of the debug pipe, shared by every trace log object.
#pragma once

#include <mutex>

#include "KstWinTypes.h"

namespace kst::detail {

struct DebugPipeSettings {
    DebugPipeSettings();  // the local pipe "AtlsDbgPipe" and this computer's name

    // Writes "\\machine\pipe\pipeName" into path; false (path unchanged) when it would not fit.
    bool SetPath(const char* machine, const char* pipeName);
    // A copy of path taken under the lock, so that a line goes to one whole pipe name while
    // another thread sets a new one.
    void CopyPath(char (&out)[260]) const;

    mutable std::mutex pathLock;  // guards path; the other members do not change
    char path[260];
    DWORD timeout;  // how long a busy pipe is waited for, in milliseconds
    char computerName[16];
    DWORD computerNameLength;
};

// Defined with the module's other global objects, in their order.
extern DebugPipeSettings g_debugPipe;

}  // namespace kst::detail

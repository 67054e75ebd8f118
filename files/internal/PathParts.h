// A path split into the runtime's fixed buffers, refusing paths that do not fit them.
#pragma once

#include "KstString.h"
#include "KstWinTypes.h"
#include "SharedPathHelpers.h"

namespace kst::files {

struct PathParts {
    char drive[_MAX_DRIVE] = {};
    char dir[_MAX_DIR] = {};
    char fname[_MAX_FNAME] = {};
    char ext[_MAX_EXT] = {};
};

// False (and empty parts) when the path is too long for a path buffer or one of its parts
// for its own buffer, so that no part is silently cut.
bool SplitPathParts(const char* path, PathParts& parts);

// The runtime's join; empty when the result would not fit a path buffer.
CString JoinPath(const char* drive, const char* dir, const char* fname, const char* ext);

}  // namespace kst::files

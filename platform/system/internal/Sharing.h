// Sharing modes between handles and processes, kept as open-file-description locks on
// reserved bytes far beyond any data: each opener marks the access it holds and the access it
// denies.
#pragma once

namespace kst::detail {

struct ShareRequest {
    bool read = false;  // access held
    bool write = false;
    bool shareRead = false;  // access others may hold
    bool shareWrite = false;
};

enum class ShareResult { Granted, Violation, Failed };

// Marks the request on lockFd (an open file description readable by this process, kept open
// for as long as the marks must hold). Violation when an earlier opener denies what this
// one holds, or this one denies what another holds; the marks are then not left behind.
// Failed (errno set) when the locks could not be taken at all.
ShareResult TakeShareMarks(int lockFd, const ShareRequest& request);

}  // namespace kst::detail

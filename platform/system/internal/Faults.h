// Failing disks for the library's tests: the layer's reads and writes of files go through
// these calls, which fail or fall short as a test asks. No test asking, each is the system
// call itself after one relaxed load.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "KstExport.h"

namespace kst::detail {

struct FaultPlan {
    // The files concerned: those whose path holds this text (empty: every file).
    std::string pathPart;
    // Bytes the concerned files may still take in all; the write that would pass the limit
    // writes what fits, the next fails with ENOSPC. Negative: no limit.
    long long writeLimit = -1;
    // A read of a concerned file that reaches this offset stops before it; a read that starts
    // there fails with EIO. Negative: none.
    long long readFailAt = -1;
    // At most this many bytes per read or write call (0: as many as asked).
    size_t shortReads = 0;
    size_t shortWrites = 0;
};

// Replaces the plan in force; ClearFaults ends it.
KST_INTERNAL void SetFaults(const FaultPlan& plan);
KST_INTERNAL void ClearFaults();
// Bytes written to concerned files under the plan in force.
KST_INTERNAL long long FaultWrittenBytes();

// The system calls the layer makes on files, subject to the plan.
ssize_t FaultRead(int fd, void* buffer, size_t size);
ssize_t FaultPread(int fd, void* buffer, size_t size, off_t offset);
ssize_t FaultWrite(int fd, const void* buffer, size_t size);
ssize_t FaultPwrite(int fd, const void* buffer, size_t size, off_t offset);
// Under a plan, fails with EXDEV so that the copy goes through FaultRead and FaultWrite.
ssize_t FaultCopyFileRange(int from, int to, size_t size);

}  // namespace kst::detail

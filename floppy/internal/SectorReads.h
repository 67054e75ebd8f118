// The diskette sector reads of both families, as free functions that the library's tests call
// directly; CFloppyAccessLow's private ReadSector and ReadFileRet forward to them.
#pragma once

#include "KstExport.h"
#include "KstWin32Files.h"
#include "KstWinTypes.h"

namespace kst::floppy {

constexpr DWORD kSectorSize = 512;
// The disk service's transfer buffer of one request.
constexpr DWORD kTransferSize = 10000;

// The INT 13h request that reads the sector at lba of the first diskette drive into transfer,
// addressed in the 1.44 MB geometry: 18 sectors per track, 2 heads.
KST_INTERNAL void FillReadRequest(DIOC_REGISTERS& regs, DWORD lba, void* transfer);

KST_INTERNAL int ReadSector(HANDLE device, void* buffer, DWORD count, DWORD* bytesRead, DWORD lba,
                            int retries);
KST_INTERNAL int ReadFileRet(HANDLE file, void* buffer, DWORD size, DWORD* bytesRead,
                             OVERLAPPED* overlapped, int retries);

}  // namespace kst::floppy

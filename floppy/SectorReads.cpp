// Diskette sector reads: the older family's INT 13h service and the newer family's volume.
#include "internal/SectorReads.h"

#include <algorithm>
#include <cstring>

#include "KstFloppyAccessLow.h"
#include "KstTraceLog.h"

namespace kst::floppy {
namespace {

constexpr DWORD kReadOneSector = 0x0201;  // function 02h, one sector
constexpr DWORD kSectorsPerTrack = 18;
constexpr DWORD kHeads = 2;

}  // namespace

void FillReadRequest(DIOC_REGISTERS& regs, DWORD lba, void* transfer) {
    DWORD cylinder = lba / (kSectorsPerTrack * kHeads);
    DWORD head = (lba / kSectorsPerTrack) % kHeads;
    DWORD sector = lba % kSectorsPerTrack + 1;
    regs.reg_EBX = reinterpret_cast<DWORD_PTR>(transfer);
    regs.reg_EDX = head << 8;  // DL 0: the first diskette drive
    regs.reg_ECX = ((cylinder & 0xFF) << 8) | (sector & 0x3F) | ((cylinder >> 2) & 0xC0);
    regs.reg_EAX = kReadOneSector;
}

int ReadSector(HANDLE device, void* buffer, DWORD count, DWORD* bytesRead, DWORD lba, int retries) {
    alignas(16) unsigned char transfer[kTransferSize] = {};
    DIOC_REGISTERS regs{};
    FillReadRequest(regs, lba, transfer);
    const DIOC_REGISTERS request = regs;
    CTraceLog_Trace("MESSAGE: CFloppyAccessLow::ReadSector(); Run DeviceIoControl()\n");
    for (int attempt = 1;; ++attempt) {
        DWORD returned = 0;
        if (!DeviceIoControl(device, VWIN32_DIOC_DOS_INT13, &regs, sizeof regs, &regs, sizeof regs,
                             &returned, nullptr)) {
            CTraceLog_Trace(
                "ERROR: CFloppyAccessLow::ReadSector(); Call DeviceIoControl is error./n");
            *bytesRead = 0;
            return 0;
        }
        CTraceLog_Trace("MESSAGE: CFloppyAccessLow::ReadSector(); End DeviceIoControl()\n");
        CTraceLog_Trace("MESSAGE: CFloppyAccessLow::ReadSector(); Itteration = %d\n", attempt);
        if (((regs.reg_EAX >> 8) & 0xFF) == 0) {
            *bytesRead = kSectorSize;
            // The transfer buffer holds 19 sectors; a larger count copies no more than that.
            DWORD bytes = std::min<unsigned long long>(1ull * count * kSectorSize,
                                                       kTransferSize / kSectorSize * kSectorSize);
            std::memcpy(buffer, transfer, bytes);
            return 1;
        }
        if (attempt >= retries + 1) break;
        CTraceLog_Trace("MESSAGE: CFloppyAccessLow::ReadSector(); Run DeviceIoControl()\n");
        regs = request;
    }
    *bytesRead = 0;
    return 0;
}

int ReadFileRet(HANDLE file, void* buffer, DWORD size, DWORD* bytesRead, OVERLAPPED* overlapped,
                int retries) {
    for (int attempt = 0; attempt < retries + 1; ++attempt) {
        ReadFile(file, buffer, size, bytesRead, overlapped);
        if (*bytesRead == size) return 1;
    }
    return 0;
}

}  // namespace kst::floppy

int CFloppyAccessLow::ReadSector(HANDLE device, void* buffer, DWORD count, DWORD* bytesRead,
                                 DWORD lba, int retries) {
    return kst::floppy::ReadSector(device, buffer, count, bytesRead, lba, retries);
}

int CFloppyAccessLow::ReadFileRet(HANDLE file, void* buffer, DWORD size, DWORD* bytesRead,
                                  OVERLAPPED* overlapped, int retries) {
    return kst::floppy::ReadFileRet(file, buffer, size, bytesRead, overlapped, retries);
}

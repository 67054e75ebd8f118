// Copying a file from a possibly damaged FAT12 diskette: the library walks the file system
// itself and reads the file sector by sector with retries, so that the copy keeps its full
// length and the caller learns which sectors could not be read.
//
// The diskette is what the drive table maps to A: or B: (kst::MapDrive, KstPlatform.h): a
// drive of type Removable whose raw device is an image file or a real diskette drive, such as
// a USB floppy drive's block device, which is opened for reading only:
//
//     kst::MapDrive('A', "", kst::DriveType::Removable, "/dev/sdb");      // or "floppy.img"
//     CWordArray bad;
//     CFloppyAccessLow::CopyFileA("A:\\DOCS\\NOTE.TXT", "/tmp/note.txt", 0, &bad, 2, 10,
//                                 nullptr, 0);
//
// The newer family (the default, kst::SetPlatformFamily) reads the volume device \\.\A:; the
// older one sends one INT 13h request per sector to the \\.\vwin32 disk service, which always
// addresses the first diskette drive and the 1.44 MB geometry (18 sectors, 2 heads).
#pragma once

#include "KstCollections.h"
#include "KstExport.h"
#include "KstString.h"
#include "KstWin32Files.h"
#include "KstWinTypes.h"
#include "KstWnd.h"

// Posted to the progress window after every sector read: wParam is the caller's counter,
// counted up by one before each message; lParam is 1.
#define WM_FLOPPY_PROGRESS 0x461u

// Every operation is static; the class holds no data.
class KST_API CFloppyAccessLow {
public:
    CFloppyAccessLow() {}
    CFloppyAccessLow(const CFloppyAccessLow&) {}
    CFloppyAccessLow& operator=(const CFloppyAccessLow&) { return *this; }
    virtual ~CFloppyAccessLow() {}

    // Copies source to destination (null: reads the file without writing it). A source on a
    // diskette (drive A: or B:, removable) is found through the FAT12 directories and read
    // sector by sector, every sector of each cluster, each read with retries + 1 attempts; any
    // other source is copied by the system, overwriting the destination, whose folders are
    // created first. Answers 1 when done (VerifyFile of the destination instead when verify is
    // set), 0 when the file cannot be reached: the path has no short form, the device does not
    // open, the boot sector or the FAT does not read, or a component is not found (last error
    // ERROR_FILE_NOT_FOUND).
    //
    // Unreadable sectors do not change the answer: their ordinals (the file's sectors counted
    // from 0 in chain order, so the bytes ordinal × 512 to ordinal × 512 + 511 of the
    // destination) are appended to badSectors, which is not cleared; an unreadable sector is
    // written as zeros. Once badSectors holds more than maxBad entries the copy stops there and
    // that sector is not written. Without a list, every sector is written.
    //
    // A damaged file system ends the walk too: a chain that comes back to a cluster it has
    // passed ends there, a FAT12 table is read only as far as 4096 entries reach, and an
    // unreadable directory sector is skipped. The last two arguments have no effect.
    static int CopyFileA(const char* source, const char* destination, int verify,
                         CWordArray* badSectors, BYTE retries, WORD maxBad, CWnd* progress,
                         int counter, int reserved = 0, CWnd* reservedWnd = nullptr);
    // CopyFileA of path without a destination, no list, no retries: 1 when the file is found
    // and read (a file off a diskette: when it has a short path).
    static int VerifyFile(CString& path);
    // True for drive A: or B: (either case) when the system reports it removable.
    static bool IsFloppyDisk(const char* path);

private:
    // Upper-cases a to z of the first length characters.
    static void StrToUpper(char* buffer, WORD length);
    // The older family: one INT 13h read of the sector at lba through the \\.\vwin32 device,
    // at most retries + 1 attempts; count × 512 bytes are copied to buffer. 1 when read, with
    // *bytesRead 512; else 0 with *bytesRead 0.
    static int ReadSector(HANDLE device, void* buffer, DWORD count, DWORD* bytesRead, DWORD lba,
                          int retries);
    // The newer family: ReadFile at the overlapped's offset until a read returns exactly size
    // bytes, at most retries + 1 attempts. *bytesRead keeps the last attempt's count.
    static int ReadFileRet(HANDLE file, void* buffer, DWORD size, DWORD* bytesRead,
                           OVERLAPPED* overlapped, int retries);
};

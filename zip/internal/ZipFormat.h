// The ZIP structures the archive subsystem reads and writes, and little-endian field access.
#pragma once

#include <cstddef>
#include <cstring>

#include "KstWinTypes.h"

namespace kst::zip {

constexpr DWORD kSpanMarker = 0x08074b50;  // also the optional data descriptor signature
constexpr DWORD kLocalHeaderSig = 0x04034b50;
constexpr DWORD kCentralHeaderSig = 0x02014b50;
constexpr DWORD kEndRecordSig = 0x06054b50;
constexpr DWORD kZip64EndSig = 0x06064b50;
constexpr DWORD kZip64LocatorSig = 0x07064b50;

constexpr DWORD kLocalHeaderSize = 30;
constexpr DWORD kCentralHeaderSize = 46;
constexpr DWORD kEndRecordSize = 22;
constexpr DWORD kDescriptorSize = 12;
constexpr DWORD kSignedDescriptorSize = 16;
constexpr DWORD kZip64DescriptorSize = 20;  // 8-byte sizes, after a ZIP64 local header
constexpr DWORD kZip64SignedDescriptorSize = 24;
constexpr DWORD kZip64EndSize = 56;  // without extensible data
constexpr DWORD kZip64LocatorSize = 20;
constexpr WORD kZip64ExtraId = 0x0001;

// The end record may begin this far before the end: its fixed part and the longest comment.
constexpr DWORD kEndSearchTail = kEndRecordSize + 0xFFFF;

// Blocks of the signature search and of volume copies.
constexpr DWORD kSearchBlock = 65535;

constexpr WORD kFlagEncrypted = 0x0001;
constexpr WORD kFlagDescriptor = 0x0008;
constexpr WORD kFlagUtf8 = 0x0800;

// Local header fields.
constexpr size_t kLocFlags = 6;
constexpr size_t kLocCompressed = 18;
constexpr size_t kLocUncompressed = 22;
constexpr size_t kLocNameLength = 26;
constexpr size_t kLocExtraLength = 28;

// Central directory header fields.
constexpr size_t kCenMadeBy = 4;
constexpr size_t kCenFlags = 8;
constexpr size_t kCenMethod = 10;
constexpr size_t kCenTime = 12;
constexpr size_t kCenDate = 14;
constexpr size_t kCenCrc = 16;
constexpr size_t kCenCompressed = 20;
constexpr size_t kCenUncompressed = 24;
constexpr size_t kCenNameLength = 28;
constexpr size_t kCenExtraLength = 30;
constexpr size_t kCenCommentLength = 32;
constexpr size_t kCenDisk = 34;
constexpr size_t kCenLocalOffset = 42;

// End record fields.
constexpr size_t kEndThisDisk = 4;
constexpr size_t kEndDirDisk = 6;
constexpr size_t kEndEntriesHere = 8;
constexpr size_t kEndEntriesTotal = 10;
constexpr size_t kEndDirSize = 12;
constexpr size_t kEndDirOffset = 16;
constexpr size_t kEndCommentLength = 20;

// ZIP64 end record fields.
constexpr size_t kZ64RecordSize = 4;  // of the rest of the record
constexpr size_t kZ64MadeBy = 12;
constexpr size_t kZ64Needed = 14;
constexpr size_t kZ64ThisDisk = 16;
constexpr size_t kZ64DirDisk = 20;
constexpr size_t kZ64EntriesHere = 24;
constexpr size_t kZ64EntriesTotal = 32;
constexpr size_t kZ64DirSize = 40;
constexpr size_t kZ64DirOffset = 48;

// ZIP64 end record locator fields.
constexpr size_t kLoc64Disk = 4;
constexpr size_t kLoc64Offset = 8;
constexpr size_t kLoc64Disks = 16;

// What a classic field holds when the value lives in a ZIP64 field.
constexpr WORD kNo16 = 0xFFFF;
constexpr DWORD kNo32 = 0xFFFFFFFF;

inline WORD Get16(const BYTE* p) {
    return static_cast<WORD>(p[0] | (p[1] << 8));
}
inline DWORD Get32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) |
           (static_cast<DWORD>(p[2]) << 16) | (static_cast<DWORD>(p[3]) << 24);
}
inline ULONGLONG Get64(const BYTE* p) {
    return static_cast<ULONGLONG>(Get32(p)) | (static_cast<ULONGLONG>(Get32(p + 4)) << 32);
}
inline void Put16(BYTE* p, WORD v) {
    p[0] = static_cast<BYTE>(v);
    p[1] = static_cast<BYTE>(v >> 8);
}
inline void Put32(BYTE* p, DWORD v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>(v >> (8 * i));
}
inline void Put64(BYTE* p, ULONGLONG v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<BYTE>(v >> (8 * i));
}

inline DWORD CentralHeaderLength(const BYTE* header) {
    return kCentralHeaderSize + Get16(header + kCenNameLength) + Get16(header + kCenExtraLength) +
           Get16(header + kCenCommentLength);
}
inline DWORD LocalHeaderLength(const BYTE* header) {
    return kLocalHeaderSize + Get16(header + kLocNameLength) + Get16(header + kLocExtraLength);
}

}  // namespace kst::zip

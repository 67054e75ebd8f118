// Values at full width: the end of an archive with its ZIP64 end record and locator, and the
// sizes, offset and disk of an entry with its ZIP64 extra field. A classic field that says
// 0xFFFF or 0xFFFFFFFF leaves its value to the ZIP64 field.
#pragma once

#include <string>
#include <vector>

#include "KstFile.h"
#include "KstWinTypes.h"

namespace kst::zip {

struct ArchiveEnd {
    ULONGLONG position = 0;    // of the end record
    ULONGLONG blockStart = 0;  // of the ZIP64 end record when it was read, else position
    std::vector<BYTE> record;  // the end record and its comment, cut at the end of the file
    bool zip64 = false;        // a ZIP64 end record was found and its values taken
    WORD madeBy = 45, needed = 45;
    DWORD thisDisk = 0, dirDisk = 0;
    ULONGLONG entriesHere = 0, entriesTotal = 0, dirSize = 0, dirOffset = 0;
    std::string Comment() const;
};

// Finds the last end record in the file's final 65,557 bytes (its fixed part and the longest
// comment) and, when a locator stands right before it, the ZIP64 end record: at the offset the
// locator gives when that lies in this file, else right before the locator. False: none.
bool LocateEnd(CFile& file, ArchiveEnd& end);

// What an archive's or a volume set's end says.
struct EndValues {
    DWORD thisDisk = 0, dirDisk = 0;
    ULONGLONG entriesHere = 0, entriesTotal = 0, dirSize = 0, dirOffset = 0;
    WORD madeBy = 45, needed = 45;
    std::string comment;
};

// The versions of a rewritten end: those of the source's ZIP64 end record, or else the last
// central header's "made by", which a ZIP64 end record needs when the source had none (as
// Info-ZIP writes it).
void TakeVersions(EndValues& values, const ArchiveEnd& source,
                  const std::vector<BYTE>& lastCentralHeader);

// Whether some value does not fit the end record, so that a ZIP64 end record must carry it.
bool NeedsZip64(const EndValues& values);
// The ZIP64 end record and locator when needed, then the end record with the comment; the
// block begins at blockPosition of volume thisDisk, the last of thisDisk + 1 volumes.
std::vector<BYTE> BuildEnd(const EndValues& values, ULONGLONG blockPosition);

struct EntryFields {
    ULONGLONG uncompressed = 0, compressed = 0, localOffset = 0;
    DWORD disk = 0;
};

// A central header's fields; header holds its fixed part, name and extra field (length bytes).
EntryFields ReadEntryFields(const BYTE* header, size_t length);
// Sets the disk and local header offset of a central header (fixed part, name, extra field and
// comment): in its ZIP64 extra field where the header keeps them there or where they do not fit
// the classic fields, which then say 0xFFFF and 0xFFFFFFFF. The header grows by the slots added.
void SetEntryPlace(std::vector<BYTE>& header, DWORD disk, ULONGLONG localOffset);

// The compressed size a local header states (header: fixed part, name and extra field).
ULONGLONG LocalCompressedSize(const BYTE* header, size_t length);
// Whether a local header carries a ZIP64 extra field: its data descriptor then has 8-byte sizes.
bool HasZip64Extra(const BYTE* header, size_t length);

}  // namespace kst::zip

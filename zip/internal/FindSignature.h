// The block-wise signature search shared by the directory reader and the join's repair.
#pragma once

#include "KstExport.h"
#include "KstFile.h"
#include "KstWinTypes.h"

namespace kst::zip {

// Searches the file from its current position in blocks of 65,535 bytes. On a hit, offset is
// the match's offset in the block left in buffer (a caller's 65,535-byte buffer, or an own one
// when null) and position its file position; with findLast the last match of the rest of the
// file wins. The file position afterwards is wherever the reads left it.
KST_INTERNAL int FindSignature(CFile& file, DWORD signature, WORD& offset, DWORD& position,
                               char* buffer, bool findLast);

}  // namespace kst::zip

// Reads a file through a large buffer, so that field-by-field parsing of ZIP structures costs a
// system call per block and not per field.
#pragma once

#include <cstddef>
#include <vector>

#include "KstFile.h"
#include "KstWinTypes.h"

namespace kst::zip {

class BlockReader {
public:
    explicit BlockReader(CFile& file, size_t blockSize = 65536);
    BlockReader(const BlockReader&) = delete;
    BlockReader& operator=(const BlockReader&) = delete;

    // The logical position: where the next Read starts.
    ULONGLONG Tell() const { return m_start + m_pos; }
    void Seek(ULONGLONG position);
    // The bytes read ahead of the position: once they are consumed, the file stands at Tell().
    size_t Buffered() const { return m_len - m_pos; }
    // Answers the bytes read: fewer than asked only at the end of the file.
    size_t Read(void* dest, size_t count);
    // Moves to the next occurrence of the signature at or after the position, stopping before
    // limit; false (positioned at the limit or the end) when there is none.
    bool SeekSignature(DWORD signature, ULONGLONG limit);
    // Reads the 4 bytes at the position without moving; false near the end.
    bool Peek32(DWORD& value);

private:
    // Keeps the unread bytes and appends the next ones; false when nothing new came.
    bool Refill();

    CFile& m_file;
    std::vector<BYTE> m_buffer;
    ULONGLONG m_start = 0;  // file position of m_buffer[0]; the file stands at m_start + m_len
    size_t m_len = 0;
    size_t m_pos = 0;
};

}  // namespace kst::zip

#include "internal/BlockReader.h"

#include <algorithm>
#include <cstring>

#include "internal/ZipFormat.h"

namespace kst::zip {

BlockReader::BlockReader(CFile& file, size_t blockSize) : m_file(file), m_buffer(blockSize) {
    m_start = m_file.GetPosition();
}

void BlockReader::Seek(ULONGLONG position) {
    if (position >= m_start && position <= m_start + m_len) {
        m_pos = static_cast<size_t>(position - m_start);
        return;
    }
    m_file.Seek(static_cast<LONGLONG>(position), CFile::begin);
    m_start = position;
    m_len = m_pos = 0;
}

bool BlockReader::Refill() {
    if (m_pos > 0) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_pos, m_len - m_pos);
        m_start += m_pos;
        m_len -= m_pos;
        m_pos = 0;
    }
    if (m_len == m_buffer.size()) return false;
    UINT got = m_file.Read(m_buffer.data() + m_len, static_cast<UINT>(m_buffer.size() - m_len));
    m_len += got;
    return got > 0;
}

size_t BlockReader::Read(void* dest, size_t count) {
    auto* out = static_cast<BYTE*>(dest);
    size_t done = 0;
    while (done < count) {
        if (m_pos < m_len) {
            size_t n = std::min(count - done, m_len - m_pos);
            std::memcpy(out + done, m_buffer.data() + m_pos, n);
            m_pos += n;
            done += n;
            continue;
        }
        if (count - done >= m_buffer.size()) {
            // Large reads go straight into the caller's memory.
            m_start += m_len;
            m_len = m_pos = 0;
            UINT got = m_file.Read(out + done, static_cast<UINT>(count - done));
            m_start += got;
            done += got;
            if (got == 0) break;
            continue;
        }
        if (!Refill()) break;
    }
    return done;
}

bool BlockReader::Peek32(DWORD& value) {
    if (m_len - m_pos < 4) Refill();
    if (m_len - m_pos < 4) return false;
    value = Get32(m_buffer.data() + m_pos);
    return true;
}

bool BlockReader::SeekSignature(DWORD signature, ULONGLONG limit) {
    const BYTE first = static_cast<BYTE>(signature);
    for (;;) {
        if (Tell() >= limit) return false;
        if (m_len - m_pos < 4 && !Refill() && m_len - m_pos < 4) {
            m_pos = m_len;
            return false;
        }
        const BYTE* base = m_buffer.data();
        size_t end = m_len;
        if (m_start + end > limit) end = static_cast<size_t>(limit - m_start);
        size_t at = m_pos;
        while (at < end) {
            const void* hit = std::memchr(base + at, first, end - at);
            if (!hit) {
                at = end;
                break;
            }
            at = static_cast<size_t>(static_cast<const BYTE*>(hit) - base);
            if (m_len - at < 4) break;  // needs the next block to decide
            if (Get32(base + at) == signature) {
                m_pos = at;
                return true;
            }
            ++at;
        }
        m_pos = at;
        if (at >= end && m_start + m_len >= limit) {
            m_pos = std::min(m_len, static_cast<size_t>(limit - m_start));
            return false;
        }
        if (!Refill() && m_len - m_pos < 4) {
            m_pos = m_len;
            return false;
        }
    }
}

}  // namespace kst::zip

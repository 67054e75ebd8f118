// The volume being written: bookkeeping of its bytes, the work file of removable targets and
// the confirmed copy of image files onto the target.
#include <algorithm>
#include <string>

#include "KstFileService.h"
#include "KstWin32.h"
#include "KstWnd.h"
#include "KstZipSpan.h"
#include "files/internal/SharedPathHelpers.h"
#include "internal/ZipFormat.h"
#include "internal/ZipText.h"

using namespace kst::zip;

namespace {
constexpr size_t kGatherLimit = 1 << 20;
}

CZipSpan::CurDisk_t::CurDisk_t() = default;

CZipSpan::CurDisk_t::~CurDisk_t() {
    Abandon();
    bool imageSet = m_pOwner && !m_pOwner->m_strImageFolder.IsEmpty();
    if (!imageSet && !m_strWorkFile.IsEmpty() &&
        GetFileAttributesA(m_strWorkFile) != INVALID_FILE_ATTRIBUTES)
        DeleteFileA(m_strWorkFile);
}

DWORD CZipSpan::CurDisk_t::GetFilePosition() const {
    if (!m_positionKnown) {
        m_position = m_file.GetPosition() + m_pending.size();
        m_positionKnown = true;
    }
    return static_cast<DWORD>(m_position);
}

void CZipSpan::CurDisk_t::Advance(ULONGLONG length) {
    if (m_positionKnown) m_position += length;
}

void CZipSpan::CurDisk_t::WriteToFile(const void* data, DWORD length) {
    if (m_pending.capacity() < kGatherLimit) m_pending.reserve(kGatherLimit);
    if (m_pending.size() + length > kGatherLimit) FlushToFile();
    if (length >= kGatherLimit) {
        m_file.Write(data, length);
    } else {
        auto* bytes = static_cast<const BYTE*>(data);
        m_pending.insert(m_pending.end(), bytes, bytes + length);
    }
    Advance(length);
}

void CZipSpan::CurDisk_t::Abandon() {
    if (m_file.m_hFile != CFile::hFileNull) {
        try {
            FlushToFile();
        } catch (CException* e) {
            e->Delete();
        }
        m_file.Abort();
    }
    m_pending.clear();
    m_positionKnown = false;
}

void CZipSpan::CurDisk_t::FlushToFile() {
    if (m_pending.empty()) return;
    // Emptied first: a failed write must not be retried by the clean-up after it.
    std::vector<BYTE> bytes;
    bytes.swap(m_pending);
    m_file.Write(bytes.data(), static_cast<UINT>(bytes.size()));
    bytes.clear();
    m_pending.swap(bytes);  // keeps the capacity for the next volume
}

bool CZipSpan::CurDisk_t::Open() {
    CString target = m_strVolumePath;
    if (m_pOwner->IsRemovable()) {
        // With an image folder the work file is the image itself: a temporary file made for
        // it would be left behind.
        if (m_strWorkFile.IsEmpty() && m_pOwner->m_strImageFolder.IsEmpty()) {
            char folder[MAX_PATH] = {};
            char name[MAX_PATH] = {};
            GetTempPathA(MAX_PATH, folder);
            if (GetTempFileNameA(folder, "TMP", 0, name)) m_strWorkFile = name;
        }
        if (!m_pOwner->m_strImageFolder.IsEmpty()) {
            m_strWorkFile =
                m_pOwner->DiskName(m_pOwner->m_strImageFolder, m_strArchiveName, m_nVolume);
            char parent[MAX_PATH] = {};
            GetParentDir(m_strWorkFile, parent);
            CreateDirTree(parent);
        }
        target = m_strWorkFile;
    }
    // The volume just named has nothing to receive yet: close without the removable copy.
    Close(false);
    m_positionKnown = false;
    m_nFileVolume = m_nVolume;
    return m_file.Open(target, CFile::modeCreate | CFile::modeWrite | CFile::shareDenyWrite) != 0;
}

void CZipSpan::CurDisk_t::Close(bool copy) {
    bool copied = false;
    if (m_file.m_hFile != CFile::hFileNull) {
        CString written = m_file.GetFilePath();
        FlushToFile();
        m_file.Close();
        if (!m_pOwner->m_strImageFolder.IsEmpty()) copied = ConfirmedCopy(written);
    }
    // With an image folder the work file is the image: its confirmed copy stands for this one.
    if (m_pOwner->IsRemovable() && copy && !copied && !m_strWorkFile.IsEmpty()) CopyWorkFile();
}

// Copies an image file onto the target until it verifies or the user gives up; false when the
// image is missing or empty and nothing was done.
bool CZipSpan::CurDisk_t::ConfirmedCopy(const CString& from) {
    for (;;) {
        CFileStatus status;
        if (!CFile::GetStatus(from, status) || status.m_size == 0) return false;
        // Without a removable target the image is the volume itself: nothing to copy.
        if (from != m_strVolumePath && !CopyFileA(from, m_strVolumePath, FALSE)) {
            ShowSystemError(0);
            if (AfxMessageBox(3u, MB_YESNO | MB_ICONQUESTION) != IDYES) return true;
            CreateDirTree(CFileService::GetPath(m_strVolumePath));
            continue;
        }
        if (m_pOwner->Verify(m_strVolumePath) == VolumeGood) return true;
        if (!m_pOwner->AskWriteError()) return true;
    }
}

// The work file onto the removable target; a failed copy is asked about, and giving up ends
// the span as a failure.
void CZipSpan::CurDisk_t::CopyWorkFile() {
    while (!CopyFileA(m_strWorkFile, m_strVolumePath, FALSE)) {
        DWORD error = GetLastError();
        ShowSystemError(0);
        if (AfxMessageBox(3u, MB_YESNO | MB_ICONQUESTION) != IDYES) {
            m_pOwner->Fail("copying volume " + CString(std::to_string(m_nFileVolume)) + " onto " +
                               m_strVolumePath + " failed: " + SystemErrorText(error),
                           m_nFileVolume);
            throw SpanAborted;
        }
        CreateDirTree(CFileService::GetPath(m_strVolumePath));
    }
}

void CZipSpan::CurDisk_t::NewDisk() {
    ++m_nVolume;
    m_dwWritten = 0;
    Close(true);
    m_bOpen = m_pOwner->CreateNewVolume(1);
    if (!m_bOpen) {
        DWORD error = GetLastError();
        m_pOwner->Fail("volume " + CString(std::to_string(m_nVolume)) +
                           " cannot be created: " + SystemErrorText(error),
                       m_nVolume);
        throw SpanFailed;
    }
    if (m_nVolume == 1) {
        BYTE marker[4];
        Put32(marker, kSpanMarker);
        WriteToFile(marker, 4);
        m_dwWritten = 4;
    }
}

void CZipSpan::CurDisk_t::Write(const void* data, DWORD length, int maySplit) {
    if (m_file.m_hFile == CFile::hFileNull || m_dwWritten >= m_dwCapacity ||
        (!maySplit && m_dwWritten + static_cast<ULONGLONG>(length) > m_dwCapacity))
        NewDisk();
    m_nBlockVolume = m_nVolume;
    m_dwBlockOffset = GetFilePosition();
    auto* bytes = static_cast<const BYTE*>(data);
    while (length > 0) {
        if (m_dwWritten >= m_dwCapacity) {
            // Only a volume too small for even one byte gets here.
            NewDisk();
            if (m_dwWritten >= m_dwCapacity) throw SpanFailed;
        }
        DWORD piece = std::min(length, m_dwCapacity - m_dwWritten);
        WriteToFile(bytes, piece);
        m_dwWritten += piece;
        bytes += piece;
        length -= piece;
        if (m_dwWritten >= m_dwCapacity) NewDisk();
    }
}

void CZipSpan::CurDisk_t::CopyFrom(CFile& source, ULONGLONG length) {
    if (m_file.m_hFile == CFile::hFileNull || m_dwWritten >= m_dwCapacity) NewDisk();
    m_nBlockVolume = m_nVolume;
    m_dwBlockOffset = GetFilePosition();
    while (length > 0) {
        if (m_dwWritten >= m_dwCapacity) {
            NewDisk();
            if (m_dwWritten >= m_dwCapacity) throw SpanFailed;
        }
        DWORD piece = static_cast<DWORD>(std::min<ULONGLONG>(length, m_dwCapacity - m_dwWritten));
        FlushToFile();
        ULONGLONG copied = 0;
        if (!kst::CopyFileData(source.m_hFile, m_file.m_hFile, piece, &copied))
            CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), m_file.GetFilePath());
        if (copied == 0) return;  // the source ended early
        Advance(copied);
        m_dwWritten += static_cast<DWORD>(copied);
        length -= copied;
        if (m_dwWritten >= m_dwCapacity) NewDisk();
    }
}

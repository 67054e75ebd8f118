#include "KstZipSpan.h"

#include <algorithm>
#include <cerrno>

#include "KstFileService.h"
#include "KstWin32.h"
#include "KstWnd.h"
#include "files/internal/SharedPathHelpers.h"
#include "internal/Joiner.h"
#include "internal/SpanState.h"
#include "internal/ZipFormat.h"
#include "internal/ZipText.h"

using namespace kst::zip;

CZipSpan::CZipSpan() {
    m_curDisk.m_pOwner = this;
}

CZipSpan::CZipSpan(const CString& archivePath) : m_strArchivePath(archivePath) {
    m_curDisk.m_pOwner = this;
}

CZipSpan::~CZipSpan() {
    delete m_pInfo;
    EmptyFileMap();
}

void CZipSpan::EmptyFileMap() {
    POSITION pos = m_mapFiles.GetStartPosition();
    while (pos) {
        CString key;
        CObject* value = nullptr;
        m_mapFiles.GetNextAssoc(pos, key, value);
        delete value;
    }
    m_mapFiles.RemoveAll();
}

CString CZipSpan::DiskName(CString folder, CString archiveName, int volume) {
    char separator = kst::files::SeparatorFor(folder);
    CString path = folder;
    if (!kst::files::EndsWithSeparator(path)) path += separator;
    CString disk;
    disk.Format("Disk%d%c", volume, separator);
    return path + disk + archiveName;
}

int CZipSpan::GetNextVolume(CFile& file, CString path) {
    return file.Open(path, CFile::modeRead | CFile::shareDenyWrite);
}

int CZipSpan::CreateNewVolume(int marker) {
    CurDisk_t& disk = m_curDisk;
    disk.m_strVolumePath = DiskName(disk.m_strFolder, disk.m_strArchiveName, disk.m_nVolume);
    char folder[MAX_PATH] = {};
    GetParentDir(disk.m_strVolumePath, folder);
    if (_mkdir(folder) != 0 && errno != EEXIST && errno != EACCES) {
        disk.m_bOpen = 0;
        return 0;
    }
    disk.m_bOpen = disk.Open();
    if (marker) {
        CString markerPath;
        markerPath.Format("%sdisk%d", folder, disk.m_nVolume);
        CFile markerFile(markerPath, CFile::modeCreate | CFile::modeWrite);
        markerFile.Close();
    }
    return disk.m_bOpen;
}

void CZipSpan::Fail(const CString& reason, int volume) {
    if (!m_strFailure.IsEmpty()) return;  // later failures follow from the first
    m_strFailure = reason;
    m_nFailureVolume = volume;
}

bool CZipSpan::AskWriteError() {
    int answer = AfxMessageBox(2u, MB_ABORTRETRYIGNORE | MB_ICONEXCLAMATION | MB_DEFBUTTON2);
    if (answer == IDABORT) {
        Fail("the user chose Abort", m_curDisk.m_nVolume);
        throw SpanAborted;
    }
    return answer == IDRETRY;
}

int CZipSpan::DoSpan(DWORD maxSize, CString folder, bool span) {
    m_bSpan = span;
    m_dwMaxSize = maxSize;
    m_nResult = 0;
    m_strFailure.Empty();
    m_nFailureVolume = 0;
    delete m_pInfo;
    m_pInfo = new CZipInfo;
    try {
        m_pInfo->GetInfo(m_strArchivePath);
    } catch (CException* error) {  // a read that fails in the directory
        Fail(ExceptionText(error), 0);
        error->Delete();
        delete m_pInfo;
        m_pInfo = nullptr;
        return 0;
    }
    EmptyFileMap();
    if (m_pInfo->GetFilesCount() < 1) {
        Fail(m_pInfo->GetError() == CZipInfo::ErrorWhileOpening ? "the archive cannot be opened"
             : m_pInfo->GetError() == CZipInfo::NotTheLastDisk
                 ? "the archive has no end of central directory record"
                 : "the archive has no entries",
             0);
        return 0;
    }
    if (!m_file.Open(m_strArchivePath, CFile::modeRead | CFile::shareDenyWrite)) {
        Fail("the archive cannot be opened: " + SystemErrorText(GetLastError()), 0);
        delete m_pInfo;
        m_pInfo = nullptr;
        return m_nResult;
    }
    try {
        CurDisk_t& disk = m_curDisk;
        disk.Abandon();
        disk.m_strFolder = folder;
        disk.m_pOwner = this;
        disk.m_nVolume = 0;
        disk.m_dwWritten = 0;
        disk.m_bOpen = 0;
        disk.m_dwCapacity = maxSize;
        disk.m_strArchiveName = CFileService::GetName(m_strArchivePath);
        CreateDirTree(folder);
        if (m_file.GetLength() <= maxSize) {
            m_nResult = Joiner(*this, folder, 1).CheckAsOneVolume() ? SpanOneVolume() : -2;
        } else {
            m_state = std::make_unique<SpanState>();
            PrepareSource();
            double length = static_cast<double>(m_file.GetLength());
            while (CopyOneFile())
                ShowProgress(100.0 * static_cast<double>(m_state->reader->Tell()) / length, 1);
            WriteCentralDirectory();
            WriteEndRecord();
            ShowProgress(100.0, 1);
            m_state.reset();
            m_file.Close();
            disk.Close(true);
            m_nResult = disk.m_nVolume;
        }
    } catch (ESpanException failure) {
        m_nResult = failure == SpanFailed ? -2 : -1;
    } catch (CException* error) {
        Fail(ExceptionText(error), m_curDisk.m_nVolume);
        error->Delete();
        m_nResult = -1;
    } catch (...) {
        Fail("an unexpected error", m_curDisk.m_nVolume);
        m_nResult = -1;
    }
    if (m_nResult >= 0) {
        m_strFailure.Empty();  // a question answered with Ignore is no failure
        m_nFailureVolume = 0;
    }
    m_state.reset();
    if (m_nResult < 0) m_curDisk.Abandon();
    if (m_file.m_hFile != CFile::hFileNull) m_file.Abort();
    delete m_pInfo;
    m_pInfo = nullptr;
    EmptyFileMap();
    return m_nResult;
}

int CZipSpan::SpanOneVolume() {
    CurDisk_t& disk = m_curDisk;
    disk.m_nVolume = 1;
    // The archive stays open against writers until the copy is done: a volume path that names
    // the archive itself then fails to open instead of emptying it.
    for (;;) {
        if (!CreateNewVolume(m_strImageFolder.IsEmpty() ? 0 : 1)) {
            Fail("volume 1 cannot be created: " + SystemErrorText(GetLastError()), 1);
            return -1;
        }
        disk.Close(true);
        if (!m_strImageFolder.IsEmpty()) {
            CString image = DiskName(m_strImageFolder, disk.m_strArchiveName, 1);
            char parent[MAX_PATH] = {};
            GetParentDir(image, parent);
            CreateDirTree(parent);
            if (!CopyFileA(m_strArchivePath, image, FALSE)) {
                Fail("copying the archive to " + image +
                         " failed: " + SystemErrorText(GetLastError()),
                     1);
                ShowSystemError(0);
                return -1;
            }
        }
        if (!CopyFileA(m_strArchivePath, disk.m_strVolumePath, FALSE)) {
            Fail("copying the archive to " + disk.m_strVolumePath +
                     " failed: " + SystemErrorText(GetLastError()),
                 1);
            ShowSystemError(0);
            return -1;
        }
        if (Verify(disk.m_strVolumePath) == VolumeGood || !AskWriteError()) break;
    }
    ShowProgress(100.0, 0);
    return 1;
}

#include "KstZipInfo.h"

#include <algorithm>
#include <vector>

#include "KstTraceLog.h"
#include "internal/BlockReader.h"
#include "internal/CodePage.h"
#include "internal/TimeFields.h"
#include "internal/Zip64.h"
#include "internal/ZipFormat.h"
#include "internal/ZipText.h"

using namespace kst::zip;

namespace {

// MS-DOS stamps that name no real moment (a zero date, 31 February, hour 25) are taken as the
// start of the MS-DOS epoch rather than letting mktime roll them into another date.
CTime DosStampToTime(WORD date, WORD time) {
    int year = 1980 + (date >> 9), month = (date >> 5) & 0xF, day = date & 0x1F;
    int hour = time >> 11, minute = (time >> 5) & 0x3F, second = (time & 0x1F) * 2;
    if (month < 1 || month > 12 || day < 1 || day > kst::detail::DaysInMonth(year, month) ||
        hour > 23 || minute > 59 || second > 59)
        return CTime(1980, 1, 1, 0, 0, 0);
    return CTime(date, time);
}

}  // namespace

CZipInfo::CZipInfo() = default;

CZipInfo::~CZipInfo() {
    Clear();
}

CZipInfo& CZipInfo::operator=(CZipInfo& other) {
    if (this == &other) return *this;
    Clear();
    m_bEndRecord = other.m_bEndRecord;
    m_bSpanMarker = other.m_bSpanMarker;
    m_dwVolumes = other.m_dwVolumes;
    m_strFileName = other.m_strFileName;
    m_ullLength = other.m_ullLength;
    m_strComment = other.m_strComment;
    m_dwFilesCount = other.m_dwFilesCount;
    m_ullCentralDirPosition = other.m_ullCentralDirPosition;
    m_eError = other.m_eError;
    for (int i = 0; i < other.GetSize(); ++i) {
        auto* record = static_cast<OneFileInfo*>(other.GetAt(i));
        CObArray::Add(record ? new OneFileInfo(*record) : nullptr);
    }
    return *this;
}

void CZipInfo::Clear() {
    if (m_file.m_hFile != CFile::hFileNull) m_file.Abort();
    for (int i = 0; i < GetSize(); ++i) delete GetAt(i);
    RemoveAll();
    m_reader.reset();
}

unsigned int CZipInfo::GetZipFileHandle() const {
    return static_cast<unsigned int>(reinterpret_cast<UINT_PTR>(m_file.m_hFile));
}

void CZipInfo::GetInfo(CString path) {
    Clear();  // also closes a file left open by an earlier read without end record
    m_eError = NoError;
    m_dwFilesCount = 0;
    m_dwVolumes = 0;
    m_strComment.Empty();
    m_strFileName = path;
    if (!m_file.Open(path, CFile::modeRead | CFile::shareDenyNone)) {
        m_eError = ErrorWhileOpening;
        Print_ErrorWhileOpening(path);
        return;
    }
    CTraceLog_Trace("%s%s\n", kst::detail::FromUtf8ToAnsi("Открыт файл ").c_str(),
                    m_strFileName.c_str());
    m_ullLength = m_file.GetLength();
    BYTE head[4] = {};
    m_bSpanMarker = m_file.Read(head, 4) == 4 && Get32(head) == kSpanMarker;
    m_file.Seek(m_bSpanMarker ? 4 : 0, CFile::begin);
    if (!ReadEndRecord()) {
        m_eError = NotTheLastDisk;
        Print_NotTheLastDisk();
        m_bEndRecord = 0;
        return;
    }
    m_bEndRecord = 1;
    ReadDirectory();
    m_dwFilesCount = static_cast<DWORD>(GetSize());
    m_file.Close();
}

bool CZipInfo::ReadEndRecord() {
    ArchiveEnd end;
    if (!LocateEnd(m_file, end)) return false;
    // The directory ends where the end records begin.
    m_ullEndRecordPosition = end.blockStart;
    m_dwVolumes = end.thisDisk + 1;
    m_dwFilesCount = static_cast<DWORD>(std::min<ULONGLONG>(end.entriesTotal, 0xFFFFFFFF));
    m_strComment = CString(end.Comment());
    m_file.Seek(static_cast<LONGLONG>(std::min(end.dirOffset, m_ullLength)), CFile::begin);
    return true;
}

namespace {

// Names compare as C strings (a zero byte ends them), as _mbscmp compares them after reading.
std::string_view ComparedName(const CString& name) {
    return std::string_view(name.c_str());
}

}  // namespace

void CZipInfo::ReadDirectory() {
    m_reader = std::make_unique<BlockReader>(m_file);
    m_readNames.clear();
    m_nReplacedWhileReading = 0;
    for (int i = 0; i < GetSize(); ++i)  // GetInfo has emptied the array: none, in fact
        if (GetAt(i)) m_readNames[ComparedName(Entry(i).m_strName)] = i;
    m_bReadingDirectory = true;
    struct EndOfReading {
        CZipInfo& info;
        ~EndOfReading() {
            info.m_bReadingDirectory = false;
            info.m_readNames.clear();
            info.DropReplacedSlots();
        }
    } end{*this};
    if (m_reader->SeekSignature(kCentralHeaderSig, m_ullEndRecordPosition)) {
        m_ullCentralDirPosition = m_reader->Tell();
        OneFileInfo* info = nullptr;
        while (GetOneFileInfo(info, nullptr)) Add(info);
    }
    m_reader.reset();
}

void CZipInfo::DropReplacedSlots() {
    if (m_nReplacedWhileReading == 0) return;
    m_nReplacedWhileReading = 0;
    int kept = 0;
    for (int i = 0; i < GetSize(); ++i)
        if (CObject* record = GetAt(i)) SetAt(kept++, record);
    SetSize(kept);
}

int CZipInfo::GetOneFileInfo(OneFileInfo*& info, char* /*unused*/) {
    // Outside GetInfo (a file left open on a volume without end record) the headers are read
    // from the file's position on.
    if (!m_reader) {
        if (m_file.m_hFile == CFile::hFileNull) return 0;
        m_reader = std::make_unique<BlockReader>(m_file);
    }
    // The scan stops at the end record: bytes after it (an archive comment) are no directory.
    ULONGLONG limit = m_bEndRecord ? m_ullEndRecordPosition : ~0ULL;
    if (!m_reader->SeekSignature(kCentralHeaderSig, limit)) return 0;
    info = new OneFileInfo;
    BYTE header[kCentralHeaderSize] = {};
    m_reader->Read(header, kCentralHeaderSize);
    WORD flags = Get16(header + kCenFlags);
    info->m_wFlags = flags;
    info->m_wMethod = Get16(header + kCenMethod);
    info->m_tLastModified = DosStampToTime(Get16(header + kCenDate), Get16(header + kCenTime));
    info->m_dwCRC = Get32(header + kCenCrc);
    info->m_dwCompressedSize = Get32(header + kCenCompressed);
    info->m_dwUncompressedSize = Get32(header + kCenUncompressed);
    info->m_ullCompressedSize = info->m_dwCompressedSize;
    info->m_ullUncompressedSize = info->m_dwUncompressedSize;
    std::string name(Get16(header + kCenNameLength), '\0');
    name.resize(m_reader->Read(name.data(), name.size()));
    info->m_strName = NameToAnsi(name, flags);
    WORD extra = Get16(header + kCenExtraLength);
    if (info->m_dwCompressedSize == kNo32 || info->m_dwUncompressedSize == kNo32) {
        // The sizes that do not fit are in the ZIP64 extra field.
        std::vector<BYTE> whole(header, header + kCentralHeaderSize);
        whole.insert(whole.end(), name.begin(), name.end());
        whole.resize(whole.size() + extra);
        size_t got = m_reader->Read(whole.data() + kCentralHeaderSize + name.size(), extra);
        EntryFields fields = ReadEntryFields(whole.data(), kCentralHeaderSize + name.size() + got);
        info->m_ullCompressedSize = fields.compressed;
        info->m_ullUncompressedSize = fields.uncompressed;
    } else {
        m_reader->Seek(m_reader->Tell() + extra);
    }
    std::string comment(Get16(header + kCenCommentLength), '\0');
    comment.resize(m_reader->Read(comment.data(), comment.size()));
    info->m_strComment = CString(std::move(comment));
    return 1;
}

void CZipInfo::Add(OneFileInfo* info) {
    const std::string& name = info->m_strName.str();
    if (m_bReadingDirectory) {
        auto seen = m_readNames.find(ComparedName(info->m_strName));
        if (seen != m_readNames.end()) {
            int slot = seen->second;
            m_readNames.erase(seen);  // it views a record about to go
            delete GetAt(slot);
            SetAt(slot, nullptr);
            ++m_nReplacedWhileReading;
        }
        m_readNames[ComparedName(info->m_strName)] = CObArray::Add(info);
        return;
    }
    for (int i = GetSize() - 1; i >= 0; --i) {
        auto* record = static_cast<OneFileInfo*>(GetAt(i));
        if (!record || _mbscmp(reinterpret_cast<const unsigned char*>(record->m_strName.c_str()),
                               reinterpret_cast<const unsigned char*>(name.c_str())) != 0)
            continue;
        delete record;
        RemoveAt(i);
    }
    CObArray::Add(info);
}

bool CZipInfo::IsAnyEncrypted() const {
    for (int i = 0; i < GetSize(); ++i)
        if (GetAt(i) && (Entry(i).m_wFlags & kFlagEncrypted)) return true;
    return false;
}

int CZipInfo::FindFile(const char* name) const {
    for (int i = 0; i < GetSize(); ++i) {
        if (GetAt(i) && _mbsicmp(reinterpret_cast<const unsigned char*>(Entry(i).m_strName.c_str()),
                                 reinterpret_cast<const unsigned char*>(name)) == 0)
            return i;
    }
    return -1;
}

CString CZipInfo::GetDate(int index) const {
    struct tm fields = {};
    CString text;
    if (Entry(index).m_tLastModified.GetLocalTm(&fields))
        text.Format("%02d.%02d.%02d", fields.tm_mday, fields.tm_mon + 1, fields.tm_year + 1900);
    return text;
}

CString CZipInfo::GetTime(int index) const {
    struct tm fields = {};
    CString text;
    if (Entry(index).m_tLastModified.GetLocalTm(&fields))
        text.Format("%02d:%02d:%02d", fields.tm_hour, fields.tm_min, fields.tm_sec);
    return text;
}

void CZipInfo::Print_NotTheLastDisk() {
    CTraceLog_Trace("Print_NotTheLastDisk\n");
}

void CZipInfo::Print_ErrorWhileOpening(CString fileName) {
    CTraceLog_Trace("Print_ErrorWhileOpening : %s\n", fileName.c_str());
}

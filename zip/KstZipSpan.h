// CZipSpan: writes a ZIP archive as a set of volumes of limited size (folder\Disk{n}\name) and
// joins such a set back into one archive. Hosts derive from it to choose volume paths, ask for
// diskettes, check written volumes and show progress.
//
// Threads: an object is used by one thread at a time; nothing locks. DoSpan and UnSpan call
// the virtual members (volume names and files, progress, questions, checks) on the calling
// thread, before they return, and their message boxes come from that thread. Objects that
// work on different archives and folders may run on different threads at once.
//
// Ownership: during a run the object owns the archive it reads, the volume it writes, the
// work file of a removable target and the directory it read (CZipInfo); all are closed and
// freed before DoSpan or UnSpan returns. The CFile handed to GetNextVolume is the object's:
// an override opens it and leaves it open. Paths and texts are copies.
//
// What can throw: DoSpan and UnSpan throw nothing; a CException* from the file layer, an
// ESpanException thrown by an override or a question answered with Abort become the
// documented results, with GetFailureReason saying why. Only memory exhaustion
// (std::bad_alloc) can pass the constructors.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "KstCollections.h"
#include "KstExport.h"
#include "KstFile.h"
#include "KstObject.h"
#include "KstString.h"
#include "KstZipInfo.h"

class KST_API CZipSpan {
public:
    enum ESpanException { SpanFailed = 0, SpanAborted = 1 };
    enum Verify_t { VolumeGood = 0, VolumeBad = 1 };

    // Where an entry's local header was written: volume (1-based) and offset in that volume.
    class KST_API FileSpanInfo : public CObject {
    public:
        FileSpanInfo() = default;
        FileSpanInfo(WORD volume, DWORD offset) : m_wVolume(volume), m_dwOffset(offset) {}
        WORD m_wVolume = 0;
        DWORD m_dwOffset = 0;
    };

    // The volume being written.
    class KST_API CurDisk_t {
    public:
        CurDisk_t();
        ~CurDisk_t();
        CurDisk_t(const CurDisk_t&) = delete;
        CurDisk_t& operator=(const CurDisk_t&) = delete;

        bool Open();
        void Close(bool copy);
        void NewDisk();
        // Starts a new volume first when the block may not be split and does not fit.
        void Write(const void* data, DWORD length, int maySplit);
        // Write(..., 1) of the bytes at the source's position, copied file to file.
        void CopyFrom(CFile& source, ULONGLONG length);
        // Gathers small writes in memory; they reach the file when the gathered bytes grow
        // large, before a file-to-file copy and when the volume is closed.
        void WriteToFile(const void* data, DWORD length);
        void FlushToFile();
        // Ends the volume after a failure: what was written stays, nothing is copied.
        void Abandon();
        DWORD GetFilePosition() const;

        // Where the last block given to Write began (after a change of volume, if any).
        int m_nBlockVolume = 0;
        DWORD m_dwBlockOffset = 0;

        int m_nVolume = 0;
        DWORD m_dwWritten = 0;
        DWORD m_dwCapacity = 0;
        CString m_strVolumePath;
        CString m_strFolder;
        CString m_strArchiveName;
        CString m_strWorkFile;
        CZipSpan* m_pOwner = nullptr;
        int m_bOpen = 0;
        CFile m_file;

    private:
        bool ConfirmedCopy(const CString& from);
        void CopyWorkFile();
        void Advance(ULONGLONG length);

        std::vector<BYTE> m_pending;
        int m_nFileVolume = 0;  // the volume the file was opened for
        // The volume's position counted by the writer, so that asking costs no system call;
        // learnt from the file once after each opening.
        mutable ULONGLONG m_position = 0;
        mutable bool m_positionKnown = false;
    };

    CZipSpan();
    explicit CZipSpan(const CString& archivePath);
    virtual ~CZipSpan();
    CZipSpan(const CZipSpan&) = delete;
    CZipSpan& operator=(const CZipSpan&) = delete;

    // 0 nothing spanned, 1 one volume, n >= 2 volumes written, -1 failure or abort,
    // -2 a volume could not be prepared or the directory does not match the entries.
    // Each run starts from a clean result.
    int DoSpan(DWORD maxSize, CString folder, bool span);
    // 1 when the set was joined into the archive path and checked, else 0; throws nothing.
    // The join refuses an archive path that names one of the volumes, and removes the
    // archive it was writing when it fails.
    int UnSpan(CString folder, int count);

    // Why the last DoSpan or UnSpan failed, in English (empty after a success), and the
    // volume that failure concerns (0 when none).
    CString GetFailureReason() const { return m_strFailure; }
    int GetFailureVolume() const { return m_nFailureVolume; }

    virtual int GetNextVolume(CFile& file, CString path);
    virtual int CreateNewVolume(int marker);
    virtual void ShowProgress(double /*progress*/, int /*phase*/) {}
    virtual CString DiskName(CString folder, CString archiveName, int volume);
    virtual bool IsRemovable() { return false; }
    virtual void MessageError() {}
    virtual Verify_t Verify(CString /*path*/) { return VolumeGood; }

    CString m_strImageFolder;

protected:
    // Copies the next entry: local header, data and data descriptor; 0 when none is left.
    int CopyOneFile();

    CString m_strArchivePath;
    int m_nResult = 0;
    DWORD m_dwMaxSize = 0;
    bool m_bSpan = false;
    CFile m_file;
    CZipInfo* m_pInfo = nullptr;
    BYTE m_buffer[65536];
    CurDisk_t m_curDisk;
    CMapStringToOb m_mapFiles{10};
    DWORD m_dwDirStartVolume = 0;
    DWORD m_dwEntriesOnLastVolume = 0;
    DWORD m_dwDirStartOffset = 0;
    int m_nLastHeaderVolume = 0;  // the volume where the last directory header begins

private:
    struct SpanState;
    class Joiner;
    // Notes the first failure of a run: its reason and volume.
    void Fail(const CString& reason, int volume);
    int SpanOneVolume();
    void PrepareSource();
    ULONGLONG DataLength(ULONGLONG header, ULONGLONG dataStart, const BYTE* local,
                         DWORD localLength, const std::string& name, ULONGLONG& boundary);
    DWORD DescriptorLength(ULONGLONG dataEnd, ULONGLONG boundary, bool wide);
    void CopyEntryData(ULONGLONG length);
    void WriteCentralDirectory();
    void WriteEndRecord();
    void EmptyFileMap();
    bool AskWriteError();

    std::unique_ptr<SpanState> m_state;
    CString m_strFailure;
    int m_nFailureVolume = 0;
};

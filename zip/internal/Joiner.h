// The join of a volume set into one archive: shared by the join and by the span, which checks
// an archive it copies whole as the join would.
#pragma once

#include <vector>

#include "KstWin32.h"
#include "KstZipSpan.h"
#include "internal/SourceDirectory.h"
#include "internal/Zip64.h"

class CZipSpan::Joiner {
public:
    Joiner(CZipSpan& owner, const CString& folder, int count)
        : m_owner(owner), m_folder(folder), m_count(count) {}
    ~Joiner() {
        if (m_archive.m_hFile == CFile::hFileNull) return;
        m_archive.Abort();
        // A partial archive is removed, unless it is a volume that an override opened.
        if (!m_done && !m_archiveIsVolume && !m_checkOnly) DeleteFileA(m_owner.m_strArchivePath);
    }
    Joiner(const Joiner&) = delete;
    Joiner& operator=(const Joiner&) = delete;

    bool Run() {
        m_done = Copy() && Rebuild();
        if (m_done) m_archive.Close();
        return m_done;
    }
    // Whether the archive itself, taken as a set of one volume, passes the join's checks;
    // nothing is written. The span copies an archive that fits one volume as it is: what the
    // join of that copy would refuse, the span refuses.
    bool CheckAsOneVolume();

private:
    // Where volume n (1-based) lies in the joined archive: its first byte after the marker,
    // the base of its offsets (which count the marker) and its end.
    struct Volume {
        ULONGLONG start = 0, end = 0;
        LONGLONG base = 0;
    };
    struct Placed {
        ULONGLONG local = 0, dataEnd = 0;
        size_t entry = 0;
    };

    bool Fail(const CString& reason, int volume) {
        m_owner.Fail(reason, volume);
        return false;
    }
    bool IsOneOfTheVolumes(const CString& name);
    bool Copy();
    bool CopyVolume(int n);
    bool Rebuild();
    bool FindDirectory(const kst::zip::ArchiveEnd& end, ULONGLONG& start);
    bool PlaceEntries(const std::vector<kst::zip::CentralEntry>& entries,
                      std::vector<Placed>& placed);
    bool WriteDirectory(const std::vector<kst::zip::CentralEntry>& entries,
                        const std::vector<Placed>& placed, const kst::zip::ArchiveEnd& end,
                        ULONGLONG start);

    CZipSpan& m_owner;
    CString m_folder;
    int m_count;
    CFile m_archive;
    kst::FileIdentity m_archiveId;
    bool m_done = false;
    bool m_archiveIsVolume = false;
    bool m_checkOnly = false;
    std::vector<Volume> m_volumes;
    int m_last = 0;  // the last volume with bytes: empty volumes may follow a full one
};

// CFileLockMarker: tells other programs, also on other computers, who uses a file. Each user
// appends an info block about itself (its Mode, User, Server, Client and Time properties) to a
// marker file beside the file, and removes exactly its own blocks again; the marker goes with
// the last block. Locking never refuses because others are listed: the only refusal is
// rMarkerFailed while another program has the marker open, and the caller retries.
//
// Marker of c:\data\base.mdb: c:\data\base.~mdb (of c:\data\base: c:\data\base.~). Its blocks
// are lines Key=Value ending in CR LF, each block ended by an empty line:
//   Mode=Write / User=... / Server=... / Client=... / Time=<seconds since 1970> / (empty)
//
// Between programs. Lock and UnLock hold the marker open with exclusive sharing for all they
// do to it: Lock while it appends; UnLock while it reads the blocks, writes back the others'
// and, when none is left, deletes the marker. A Lock that waits on an UnLock therefore either
// finds the rewritten marker or, when UnLock deleted it, makes a new one; it never writes into
// a marker that is being replaced, so no block is lost.
//
// On a network folder the exclusive sharing is the platform's: byte-range locks on the marker
// file. They hold between the programs of one computer on any file system, and across
// computers where the file system passes byte-range locks to its server (NFS with its lock
// service, SMB mounts that keep them, which is their default). A mount that keeps its locks
// local (NFS "nolock" or "local_lock=all", SMB "nobrl") serializes only the programs of one
// computer: two computers may then append or rewrite at once, and a block can be lost. An
// opener that finds the marker gone or replaced on the server opens the current one.
//
// One object must not be used from two threads at once; two objects on one file are fine.
#pragma once

#include "KstExport.h"
#include "KstPropertySet.h"
#include "KstString.h"
#include "KstWinTypes.h"

class CStdioFile;

class KST_API CFileLockMarker : public CPropertySet {
public:
    enum Result_t {
        rOK = 0,
        rMarkerFailed = 1,  // the marker could not be opened (or does not exist, for UnLock)
        rTempFailed = 3     // the other blocks could not be written back; the marker is as it was
    };

    // Keys of the block's properties (Path is for callers; the marker does not use it) and
    // values of "Mode".
    static const CString KeyPath;
    static const CString KeyTime;
    static const CString KeyClient;
    static const CString KeyServer;
    static const CString KeyUser;
    static const CString KeyMode;
    static const CString ModeExclusive;
    static const CString ModeWrite;

    CFileLockMarker() = default;
    CFileLockMarker(const CFileLockMarker& src);
    CFileLockMarker& operator=(const CFileLockMarker& src);
    using CPropertySet::operator=;
    // Does not unlock.
    ~CFileLockMarker() override = default;

    void SetFilePath(LPCTSTR path) { m_strFilePath = path ? path : ""; }
    // Appends this object's block. The first Lock stamps the current time into "Time" and adds
    // missing keys as empty strings; they stay in the set.
    Result_t Lock();
    // Removes every block equal to this object's properties (same keys, same values, no more,
    // no less); the marker goes when no block is left. Blocks of others are written back in
    // the standard form: their five keys in order, other lines dropped.
    Result_t UnLock();
    // Whether this object has a block in the marker, as far as it knows (the disk is not read).
    int IsLock();
    // Moves the marker along with the file, which now lives under path. 0 when unlocked or when
    // the move fails (the old path is kept); 1 when path is the same as before.
    int MoveMarker(const CString& path);

    int m_bLock = 0;
    CString m_strFilePath;

protected:
    CString GenerateMarkerPath();
    // Reads the next block into set (emptied first); 1 when it holds a property. Lines without
    // "=" (or starting with it) are skipped; "Time" in any case is read as a time.
    int ReadInfoBlock(CStdioFile& file, CPropertySet& set);
    // Writes set's block, adding to set the keys it lacks.
    int WriteInfoBlock(CStdioFile& file, CPropertySet& set);

private:
    const CPropertySet& Own() const { return *this; }
};

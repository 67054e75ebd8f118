// What a host configures in the platform layer: the drive table, user-interface handlers,
// code pages, the computer's identity, resources and the folder of local pipes.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "KstExport.h"

namespace kst {

enum class DriveType : unsigned {
    Unknown = 0,
    NoRootDir = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CdRom = 5,
    RamDisk = 6
};

// Maps a drive letter to a host folder; rawDevice (a block device or an image file) serves
// raw sector reads of \\.\X: and the diskette services.
KST_API void MapDrive(char letter, const std::string& rootFolder, DriveType type,
                      const std::string& rawDevice = "");
KST_API void UnmapDrive(char letter);
// Raw reads of these 512-byte sectors of the drive's raw device fail. Replaces the drive's
// earlier bad sectors, those of SetFailingReads too.
KST_API void SetBadSectors(char letter, std::vector<unsigned> sectors);
// The next `reads` raw reads of this sector fail, later ones succeed (a sector that a retry
// gets through); 0 takes the sector off. A read of several sectors stops at the first failing
// one, so only that one's count goes down.
KST_API void SetFailingReads(char letter, unsigned sector, unsigned reads);

// Message boxes; the handler answers IDOK, IDCANCEL, ... Texts come in the ANSI code page.
using MessageBoxHandler =
    std::function<int(const std::string& text, const std::string& caption, unsigned type)>;
// Returns the previous handler; an empty handler restores the default (stderr, safe answer).
KST_API MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// The folder dialog; answers false when cancelled, else true with the chosen folder.
using FolderDialogHandler =
    std::function<bool(const std::string& title, const std::string& start, std::string& chosen)>;
KST_API FolderDialogHandler SetFolderDialogHandler(FolderDialogHandler handler);

// Overrides the ANSI and OEM code pages taken from the locale (0 keeps the current one).
KST_API void SetCodePages(unsigned ansi, unsigned oem);
KST_API unsigned AnsiCodePage();
KST_API unsigned OemCodePage();

// Overrides the computer name (the host name's first label, upper-cased, by default).
KST_API void SetComputerName(const std::string& name);

enum class PlatformFamily { NT, Win9x };
KST_API void SetPlatformFamily(PlatformFamily family);

// Registers a resource of the host ("LANGUAGE" resources for message texts).
KST_API void RegisterResource(const std::string& type, unsigned id, std::string bytes);

// A host's string table. CString::LoadString, CString::Format(id), AfxMessageBox(id) and
// LoadStringA look here before the library's own table (ids 1 to 3), as the framework looks in
// the program's resources before an extension module's. Texts are UTF-8 and are given out in
// the ANSI code page; registering an id again replaces its text.
KST_API void RegisterString(unsigned id, const std::string& text);
// Registers every "ID TEXT" line of a UTF-8 text file: ID decimal or 0x-hexadecimal, TEXT the
// rest of the line or a "quoted" text with \n, \t, \" and \\ escapes; blank lines and lines
// starting with ';' or "//" are skipped. False (nothing registered) when the file cannot be
// read or a line is malformed; bad tells the first bad line's number then (0: unreadable).
KST_API bool LoadStringTable(const std::string& path, unsigned* bad = nullptr);

// The folder that holds the sockets of local pipes.
KST_API std::string PipeFolder();

// Where network names come from: the mount table that maps paths on SMB mounts to
// \\server\share names (/proc/self/mountinfo), and Samba's configuration and user-share
// folder that list this computer's shares (/etc/samba/smb.conf, /var/lib/samba/usershares).
// An empty path restores the system's.
KST_API void SetMountTable(const std::string& path);
KST_API void SetShareConfiguration(const std::string& smbConf, const std::string& usershareFolder);

}  // namespace kst

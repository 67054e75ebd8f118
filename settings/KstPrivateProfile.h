// The system's private-profile calls over ini files, read with the library's ini reader so that
// they see the sections, keys and values it sees. Sections and keys match case-blind; a relative
// file name is taken from the current folder (the platform's Windows folder does not exist
// here); drive letters go through the drive table.
#pragma once

#include "KstExport.h"
#include "KstWinTypes.h"

// The value of the key without the blanks around it, or the default (its trailing blanks cut)
// when the file, section or key is missing; one pair of enclosing quotes is removed. Keys match
// without the blanks around them. A null section lists the sections, a null key
// the keys of the section, each ended by a zero, the list by a second zero. Answers the
// characters copied without the last zero; when the buffer is too small the text is cut and the
// answer is nSize - 1 (nSize - 2 for lists).
KST_API DWORD GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                       LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName);
// The value's leading decimal number (0 when it has none), or nDefault when the key is missing.
KST_API UINT GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, int nDefault,
                                   LPCSTR lpFileName);
// Sets the key (adding the section at the end and the key at the end of its section when they
// are missing); a null value removes the key, a null key the whole section. Every other line of
// the file stays as it was, line ends included (CR LF in a new file). FALSE when the file cannot
// be read or written (the last error says why).
KST_API BOOL WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                        LPCSTR lpFileName);

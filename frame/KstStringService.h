// CStringService: packs a list of strings into one delimited string and back.
// There is no quoting: a delimiter inside an element cannot be told from a separator.
#pragma once

#include "KstExport.h"
#include "KstString.h"

class CStringArray;

class KST_API CStringService {
public:
    CStringService() = default;
    CStringService(const CStringService&) = default;
    CStringService& operator=(const CStringService&) = default;
    virtual ~CStringService() = default;

    // Joins the elements with delimiter; trailing adds one more delimiter after a non-empty list.
    static void PackToString(const CStringArray& list, CString& out, const char* delimiter,
                             int trailing);
    // Splits at each occurrence of the delimiter string; empty elements are kept, except
    // after a trailing delimiter.
    static void UnpackFromString(CStringArray& list, CString text, CString delimiter);
    // Splits at any one of the delimiter characters, trimming white space when asked.
    static void UnpackFromString2(CStringArray& list, CString text, CString delimiters, bool trim);
};

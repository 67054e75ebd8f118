// Automation strings and values: BSTR allocation, VARIANT clearing and conversion, and
// _com_error, the exception of the COM support layer that carries an HRESULT.
#pragma once

#include "KstExport.h"
#include "KstVariant.h"
#include "KstWinTypes.h"

#define DISP_E_TYPEMISMATCH ((HRESULT)0x80020005L)
#define DISP_E_OVERFLOW ((HRESULT)0x8002000AL)
#define DISP_E_BADVARTYPE ((HRESULT)0x80020008L)

// A BSTR is the UTF-16 text after a 32-bit byte count, ending with a zero unit; a null BSTR
// counts as the empty string.
KST_API BSTR SysAllocString(const OLECHAR* text);
KST_API BSTR SysAllocStringLen(const OLECHAR* text, UINT length);  // text may be null: zeros
KST_API void SysFreeString(BSTR text);
KST_API UINT SysStringLen(BSTR text);

// Frees what the value owns (a BSTR) and leaves it VT_EMPTY.
KST_API HRESULT VariantClear(VARIANT* value);
KST_API HRESULT VariantCopy(VARIANT* target, const VARIANT* source);
// Converts source into target (the same variable may be both). The rules the library relies
// on: a string converts to an integer only when it is a whole number in range (blanks around
// it allowed), to VT_BOOL when it is True/False in any case or a number (non-zero is true),
// to VT_DATE when it is YYYY-MM-DD[THH:MM[:SS]]; numbers round half to even into integers;
// VT_BOOL is -1 or 0 as a number and as text. No flags are known. Failures leave target as it
// was and answer DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW or DISP_E_BADVARTYPE.
KST_API HRESULT VariantChangeType(VARIANT* target, const VARIANT* source, USHORT flags,
                                  VARTYPE type);

class KST_API _com_error {
public:
    explicit _com_error(HRESULT hr) : m_hr(hr) {}
    HRESULT Error() const { return m_hr; }
    // A short English text of the code, or "Unknown error 0x%08X".
    const char* ErrorMessage() const;

private:
    HRESULT m_hr;
    mutable char m_text[64] = {};
};

[[noreturn]] KST_API void _com_issue_error(HRESULT hr);

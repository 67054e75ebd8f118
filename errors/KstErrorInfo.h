// Error descriptions: a code (the library's own when bit 29 is set, else a system code), the
// operation it happened in, and a description; rendered from the templates of theMessage
// into message-box texts, and exchanged with property sets as "Error.Code",
// "Error.Description" and "Error.Operation".
#pragma once

#include "KstExport.h"
#include "KstString.h"
#include "KstWinTypes.h"

class CPropertySet;

class KST_API CErrorData {
public:
    CErrorData();
    CErrorData(const CErrorData& other);
    CErrorData& operator=(const CErrorData& other) = default;
    virtual ~CErrorData();

    // Init through the virtual table.
    virtual void Reset();
    virtual void SetError(DWORD code);
    virtual void SetOperation(const CString& operation);
    virtual void SetDescription(const CString& description);
    // Reset, then the code, the description and the operation, each through its setter.
    virtual void Set(DWORD code, const CString& description, const CString& operation);
    virtual void Init();

    DWORD GetError() const { return m_dwError; }
    int IsError() const { return m_dwError != 0 ? 1 : 0; }
    CString GetOperation() const { return m_strOperation; }
    CString GetDescription() const { return m_strDescription; }

    DWORD m_dwError;           // 0: no error
    CString m_strOperation;    // a key of the section "Operation"
    CString m_strDescription;  // own codes: placeholder pairs; system codes: free text
};

class KST_API CErrorInfo : public CErrorData {
public:
    CErrorInfo();
    CErrorInfo(const CErrorInfo& other);
    CErrorInfo(const CPropertySet& set);  // NOLINT: converts implicitly, as hosts expect
    CErrorInfo& operator=(const CErrorInfo& other);
    ~CErrorInfo() override;

    void Init() override;

    // The display name of the operation (section "Operation"); empty when there is none.
    CString GetOperationName() const;
    static CString GetOperationName(const CString& operation);
    static CString Replacement(CString text, CString pairs, const char* delimiters);

    // "Kst:<n>" for own codes, "Win32:<code>" for system codes.
    CString GetErrorCodeText() const;
    // The message template: "Error.K<n>" of theMessage, or the system's text of the code.
    CString GetErrorMsgTempl() const;
    // The template filled from the description (own codes), or the system text with the
    // description in parentheses.
    CString GetErrorMsg() const;
    // The box: section "Message" lines ErrorOnServer, InsideOperation and ErrorInfo, filled.
    CString GetErrorMsgForBox() const;

    // Shows the error box (stop icon, in the foreground); 0 without an error.
    UINT MessageBoxA(UINT type = MB_OK);
    // The box once per error: 0 and no box while m_strBoxText holds the last one.
    UINT OneMessageBox(UINT type = MB_OK);

    // Writes the error into the set; an empty description or operation removes its key.
    static void FormatError(CPropertySet& set, UINT code, const CString& description,
                            const CString& operation);
    static void FormatError(CPropertySet& set, CErrorData& data);
    // Init, then whatever of the three keys the set holds.
    void SetErrorParam(const CPropertySet& set);

    // A plain box from string 1 of the module's table: "Ошибка: %s%s\n%s." of a, b and c.
    static void ErrorMsgBox(const char* a, const char* b, const char* c);

    CString m_strBoxText;  // the text of the last box; empty after Init
    int m_eErrorType;      // 0: local; anything else: the error happened on the server
};

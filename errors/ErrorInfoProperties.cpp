// CErrorInfo and property sets: an error travels as "Error.Code", "Error.Description" and
// "Error.Operation".
#include "KstErrorInfo.h"
#include "KstPropertySet.h"

namespace {

const char kCodeName[] = "Error.Code";
const char kDescriptionName[] = "Error.Description";
const char kOperationName[] = "Error.Operation";

// An empty text leaves no key behind, so a stale one from an earlier error goes too.
void SetOrRemove(CPropertySet& set, const char* name, const CString& text) {
    set.RemoveKey(name);
    if (!text.IsEmpty()) set.SetAt(name, text);
}

}  // namespace

void CErrorInfo::FormatError(CPropertySet& set, UINT code, const CString& description,
                             const CString& operation) {
    set.SetAt(kCodeName, code);
    SetOrRemove(set, kDescriptionName, description);
    SetOrRemove(set, kOperationName, operation);
}

void CErrorInfo::FormatError(CPropertySet& set, CErrorData& data) {
    FormatError(set, data.GetError(), data.GetDescription(), data.GetOperation());
}

void CErrorInfo::SetErrorParam(const CPropertySet& set) {
    Init();
    // A key whose value is missing or of another class counts as absent.
    CUIntP* pCode = nullptr;
    if (set.Lookup(kCodeName, pCode) && pCode) m_dwError = *pCode;
    CStringP* pDescription = nullptr;
    if (set.Lookup(kDescriptionName, pDescription) && pDescription)
        m_strDescription = *pDescription;
    CStringP* pOperation = nullptr;
    if (set.Lookup(kOperationName, pOperation) && pOperation) m_strOperation = *pOperation;
}

// CErrorData: the plain error record.
#include "KstErrorInfo.h"

CErrorData::CErrorData() {
    CErrorData::Init();
}

CErrorData::CErrorData(const CErrorData& other)
    : m_dwError(other.m_dwError),
      m_strOperation(other.m_strOperation),
      m_strDescription(other.m_strDescription) {}

CErrorData::~CErrorData() = default;

void CErrorData::Reset() {
    Init();
}

void CErrorData::SetError(DWORD code) {
    m_dwError = code;
}

void CErrorData::SetOperation(const CString& operation) {
    m_strOperation = operation;
}

void CErrorData::SetDescription(const CString& description) {
    m_strDescription = description;
}

void CErrorData::Set(DWORD code, const CString& description, const CString& operation) {
    Reset();
    SetError(code);
    SetDescription(description);
    SetOperation(operation);
}

void CErrorData::Init() {
    m_dwError = 0;
    m_strOperation.Empty();
    m_strDescription.Empty();
}

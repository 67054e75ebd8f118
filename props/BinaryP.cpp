#include <algorithm>
#include <cstring>
#include <new>

#include "KstBinaryP.h"

namespace {

// Bytes are read in steps that grow with what has arrived, so a size field larger than the
// archive does not reserve memory up front.
constexpr UINT kFirstLoadStep = 1u << 20;

}  // namespace

CBinaryP::CBinaryP(const CBinaryP& src) : CObjectP(src) {
    CopyFrom(src);
}

CBinaryP::~CBinaryP() {
    delete[] m_pData;
}

CBinaryP& CBinaryP::operator=(const CBinaryP& src) {
    if (this != &src) CopyFrom(src);
    return *this;
}

void CBinaryP::CopyFrom(const CBinaryP& src) {
    Clear();
    if (src.m_nSize == 0 || !Allocate(src.m_nSize)) return;
    std::memcpy(m_pData, src.m_pData, m_nSize);
}

int CBinaryP::Allocate(UINT nSize) {
    Clear();
    if (nSize > 0) {
        m_nSize = nSize;
        m_pData = new (std::nothrow) BYTE[nSize];
    }
    if (m_pData) return 1;
    Clear();
    return 0;
}

void CBinaryP::Resize(UINT nSize) {
    if (nSize == m_nSize) return;
    if (nSize == 0 || m_nSize == 0 || !m_pData) {
        Allocate(nSize);
        return;
    }
    BYTE* pNew = new (std::nothrow) BYTE[nSize];
    if (!pNew) {
        Clear();
        return;
    }
    std::memcpy(pNew, m_pData, std::min(nSize, m_nSize));
    delete[] m_pData;
    m_pData = pNew;
    m_nSize = nSize;
}

void CBinaryP::Clear() {
    delete[] m_pData;
    m_pData = nullptr;
    m_nSize = 0;
}

void CBinaryP::Serialize(CArchive& ar) {
    CObjectP::Serialize(ar);
    if (ar.IsStoring()) {
        ar << m_nSize;
        if (m_nSize > 0) ar.Write(m_pData, m_nSize);
        return;
    }
    UINT nSize = 0;
    ar >> nSize;
    for (UINT nDone = 0; nDone < nSize;) {
        UINT nStep = std::min(nSize - nDone, std::max(nDone, kFirstLoadStep));
        Resize(nDone + nStep);
        if (!m_pData) AfxThrowArchiveException(CArchiveException::genericException);
        if (ar.Read(m_pData + nDone, nStep) != nStep) {
            Clear();
            AfxThrowArchiveException(CArchiveException::endOfFile);
        }
        nDone += nStep;
    }
}

CObjectP& CBinaryP::operator=(const CObjectP& src) {
    if (IsSameClass(src)) *this = static_cast<const CBinaryP&>(src);
    return *this;
}

bool CBinaryP::operator==(const CObjectP& other) const {
    if (!IsSameClass(other)) return 0;
    const auto& right = static_cast<const CBinaryP&>(other);
    if (m_nSize != right.m_nSize) return 0;
    return m_nSize == 0 || std::memcmp(m_pData, right.m_pData, m_nSize) == 0;
}

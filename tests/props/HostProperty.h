// A property class that the host program defines and registers, as hosts do: a point with
// two coordinates that counts its live instances, so tests can see what containers delete.
// Include it in one source file of a test program (it defines the runtime class).
#pragma once

#include "KstProperties.h"

class CHostPointP : public CObjectP {
    DECLARE_SERIAL(CHostPointP)
public:
    CHostPointP(int x = 0, int y = 0) : m_x(x), m_y(y) { ++live; }
    CHostPointP(const CHostPointP& src) : CObjectP(src), m_x(src.m_x), m_y(src.m_y) { ++live; }
    ~CHostPointP() override { --live; }
    CHostPointP& operator=(const CHostPointP& src) {
        m_x = src.m_x;
        m_y = src.m_y;
        return *this;
    }

    void Serialize(CArchive& ar) override {
        CObjectP::Serialize(ar);
        if (ar.IsStoring())
            ar << m_x << m_y;
        else
            ar >> m_x >> m_y;
    }
    CObjectP& operator=(const CObjectP& src) override {
        if (IsSameClass(src)) *this = static_cast<const CHostPointP&>(src);
        return *this;
    }
    bool operator==(const CObjectP& other) const override {
        if (!IsSameClass(other)) return false;
        const auto& right = static_cast<const CHostPointP&>(other);
        return m_x == right.m_x && m_y == right.m_y;
    }
    bool operator!=(const CObjectP& other) const override { return !(*this == other); }

    int m_x, m_y;
    static inline int live = 0;
};

IMPLEMENT_SERIAL(CHostPointP, CObjectP, 3)

// A property class without a creation function: CreateCopy cannot copy it.
class CNoCopyP : public CObjectP {
    DECLARE_DYNAMIC(CNoCopyP)
public:
    CNoCopyP() = default;
};

IMPLEMENT_DYNAMIC(CNoCopyP, CObjectP)

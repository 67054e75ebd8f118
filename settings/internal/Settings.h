// One entry of an ini text: a key and its value within a section.
#pragma once

#include <utility>

#include "KstExport.h"
#include "KstString.h"

class KST_INTERNAL CSettings {
public:
    CSettings() = default;
    CSettings(CString section, CString key, CString value)
        : m_strSection(std::move(section)),
          m_strKey(std::move(key)),
          m_strValue(std::move(value)) {}
    CSettings(const CSettings&) = default;
    CSettings(CSettings&&) noexcept = default;
    CSettings& operator=(const CSettings&) = default;
    CSettings& operator=(CSettings&&) noexcept = default;
    virtual ~CSettings() = default;

    CString m_strSection;  // empty outside any named section
    CString m_strKey;
    CString m_strValue;
};

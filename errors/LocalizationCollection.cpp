// CLocalizationCollection: loading and looking up the host's message texts.
#include <algorithm>
#include <string>

#include "KstLocalization.h"
#include "KstWin32System.h"
#include "settings/internal/SharedIniFile.h"

namespace {

const char kResourceType[] = "LANGUAGE";

// The resource's bytes as a text that ends at its first zero byte; false when missing.
bool LoadLanguageResource(UINT id, std::string& text) {
    HMODULE module = nullptr;  // the host's own resources
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id & 0xFFFF), kResourceType);
    if (!resource) return false;
    HGLOBAL data = LoadResource(module, resource);
    const char* bytes = data ? static_cast<const char*>(LockResource(data)) : nullptr;
    if (!bytes) return false;
    DWORD size = SizeofResource(module, resource);
    text.assign(bytes, size);
    text.resize(std::min(text.size(), text.find('\0')));
    return true;
}

}  // namespace

CLocalizationCollection::CLocalizationCollection() : CMapStringToString(10) {}

CLocalizationCollection::~CLocalizationCollection() = default;

int CLocalizationCollection::Load(const CString& fileName) {
    CIniFile ini(fileName);
    ini.SetAutoSave(0);  // loading never writes the file
    if (!ini.Read()) return 0;
    RemoveAll();
    ini.FillMap(*this);
    return 1;
}

int CLocalizationCollection::LoadFromResource(UINT id) {
    std::string text;
    if (!LoadLanguageResource(id, text)) return 0;
    CIniFile ini;
    ini.SetAutoSave(0);
    ini.Parse(text.c_str());
    if (ini.GetCount() == 0) return 0;
    RemoveAll();
    ini.FillMap(*this);
    return GetCount() > 0 ? 1 : 0;
}

int CLocalizationCollection::Lookup(const CString& section, const CString& key,
                                    CString& result) const {
    CString fullKey = section.IsEmpty() ? key : section + "." + key;
    return CMapStringToString::Lookup(fullKey, result) ? 1 : 0;
}

int CLocalizationCollection::Lookup_KError(UINT code, CString& result) const {
    CString key;
    key.Format("Error.K%u", code & 0x1FFFFFFFu);
    return CMapStringToString::Lookup(key, result) ? 1 : 0;
}

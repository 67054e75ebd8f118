// A messages file loaded by the localization collection: every text it holds is looked up by
// section and key and filled with the replacements of its own placeholders.
#include "FuzzSupport.h"
#include "KstLocalization.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = kstfuzz::Path("messages.ini");
    kstfuzz::WriteFile(path, data, size);
    CLocalizationCollection texts;
    if (!texts.Load(path.c_str())) {
        kstfuzz::Require(texts.GetCount() == 0, "a failed load left texts");
        return 0;
    }
    POSITION pos = texts.GetStartPosition();
    while (pos) {
        CString key, text;
        texts.GetNextAssoc(pos, key, text);
        // A key stored without a section may itself begin with a dot: no section names it.
        int dot = key.Find('.');
        CString found;
        if (dot > 0 && texts.Lookup(key.Left(dot), key.Mid(dot + 1), found))
            kstfuzz::Require(found == text, "a text looked up by section and key differs");
        CString filled = CLocalizationCollection::Replacement(text, "Error=e;File=f;Size=1", ";");
        CString pairs = CLocalizationCollection::Replacement("%A%%B%", text, ";,");
        (void)filled;
        (void)pairs;
    }
    UINT code = size ? data[0] : 0;
    CString error;
    texts.Lookup_KError(code, error);
    return 0;
}

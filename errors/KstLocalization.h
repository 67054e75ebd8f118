// The localized message collection: texts keyed "section.key" that the host loads from an
// ini file or from one of its "LANGUAGE" resources, and the placeholder substitution that
// the error texts use. theMessage is the library's one collection.
//
// Threads: nothing locks. Any number of threads may look texts up at once (the const
// members, which the error texts use from any thread) as long as none changes the
// collection; Load, LoadFromResource and the map's changing members need it to themselves,
// so a host loads its texts before its threads start. Replacement works on its arguments
// only and may run anywhere.
//
// Ownership: the collection holds copies of the texts; Load reads the file and closes it
// before returning, and a failed load leaves the previous texts.
//
// What can throw: a file or resource that cannot be read or holds no entry answers 0; only
// memory exhaustion (std::bad_alloc) can pass.
#pragma once

#include "KstCollections.h"
#include "KstExport.h"
#include "KstString.h"

class KST_API CLocalizationCollection : public CMapStringToString {
public:
    CLocalizationCollection();
    ~CLocalizationCollection() override;

    // Replace the whole contents on success (1); leave them alone otherwise (0).
    int Load(const CString& fileName);
    int LoadFromResource(UINT id);

    // The map's own lookup by the full key stays available.
    using CMapStringToString::Lookup;
    // Keys are exact in case; an empty section looks up the key alone. result is left as it
    // was when the key is missing.
    int Lookup(const CString& section, const CString& key, CString& result) const;
    // "Error.K<n>" where n is the code with its three highest bits cleared.
    int Lookup_KError(UINT code, CString& result) const;

    // Fills the first occurrence of each name of pairs ("name=replacement" items separated
    // by any of delimiters), in order, each in the text as the earlier items left it.
    static CString Replacement(const char* text, const char* pairs, const char* delimiters);
};

KST_API extern CLocalizationCollection theMessage;

// Builders and readers for the file-selection tests: string arrays from lists, mask specs
// in one line, and archives through real files (shared with the property tests).
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "ArchiveFiles.h"
#include "KstMaskSpec.h"
#include "KstMaskSpecArray.h"
#include "KstPattern.h"

namespace seltest {

using Strings = std::vector<std::string>;

inline void Fill(CStringArray& target, const Strings& strings) {
    target.RemoveAll();
    for (const auto& s : strings) target.Add(s.c_str());
}

inline Strings Read(const CStringArray& strings) {
    Strings out;
    for (int i = 0; i < strings.GetSize(); ++i) out.push_back(strings.GetAt(i).str());
    return out;
}

struct Spec {
    Strings dirs, include, exclude;
    int subDirs = 1, filesStatus = 0;
};

inline CMaskSpec Make(const Spec& spec) {
    CStringArray dirs, include, exclude;
    Fill(dirs, spec.dirs);
    Fill(include, spec.include);
    Fill(exclude, spec.exclude);
    return CMaskSpec(dirs, include, exclude, spec.subDirs, spec.filesStatus);
}

// A new mask spec holding exactly these folders (through its archive form: the
// constructors end every folder in a separator, "%GlobalExclusion%" too).
inline CMaskSpec* Raw(const Spec& spec);

// The members of a mask spec as they are held.
inline Spec Members(const CMaskSpec& spec) {
    return {Read(spec.GetRelativeDirs()), Read(spec.GetIncludes()), Read(spec.GetExcludes()),
            spec.IsIncludeSubDirs(), spec.IsSetFilesStatus()};
}

// The members of every mask spec of a list.
inline std::vector<Spec> Specs(const CMaskSpecArray& list) {
    std::vector<Spec> specs;
    for (int i = 0; i < list.GetSize(); ++i) specs.push_back(Members(*list.GetMaskAt(i)));
    return specs;
}

inline bool operator==(const Spec& a, const Spec& b) {
    return a.dirs == b.dirs && a.include == b.include && a.exclude == b.exclude &&
           a.subDirs == b.subDirs && a.filesStatus == b.filesStatus;
}

inline std::string Word(unsigned value) {
    return std::string{static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}

inline std::string DWord(unsigned value) {
    return Word(value & 0xFFFF) + Word(value >> 16);
}

// A short string in the archive form.
inline std::string Str(const std::string& text) {
    return std::string(1, static_cast<char>(text.size())) + text;
}

inline std::string StrArray(const Strings& strings) {
    std::string bytes = Word(static_cast<unsigned>(strings.size()));
    for (const auto& s : strings) bytes += Str(s);
    return bytes;
}

// What CMaskSpec::Serialize writes.
inline std::string SpecBytes(const Spec& spec) {
    return DWord(static_cast<unsigned>(spec.subDirs)) +
           DWord(static_cast<unsigned>(spec.filesStatus)) + StrArray(spec.dirs) +
           StrArray(spec.include) + StrArray(spec.exclude);
}

inline CMaskSpec* Raw(const Spec& spec) {
    auto* made = new CMaskSpec;
    ksttest::LoadBytes(SpecBytes(spec), [&](CArchive& ar) { made->Serialize(ar); });
    return made;
}

}  // namespace seltest

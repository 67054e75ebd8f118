// kst pattern-new / select: a pattern made from the simple choice of include masks, exclude
// masks and subfolders, and the files under a folder that a pattern selects.
//
// The library stores, compares and converts selections but matches no masks: the reading
// below is this program's own. A mask spec covers the base folder for ".\" (and every
// folder below it when it reaches into subfolders), every subfolder for "*\", and a named
// subfolder (with the folders below it when it reaches into subfolders). In a folder it
// covers, a file is selected when one of its includes matches the name and no exclude of
// any covering mask spec, nor of a "%GlobalExclusion%" mask spec, does: excludes
// win. Masks take '*' and '?', compare case-blind, and "name.*" also takes a name without an
// extension, so "*.*" takes every file. Folder names compare case-blind too.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Commands.h"
#include "KstArchive.h"
#include "KstFile.h"
#include "KstPattern.h"
#include "KstStringService.h"

namespace kstool {
namespace {

namespace fs = std::filesystem;

std::string Lower(std::string text) {
    for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return text;
}

bool SameLetter(char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
}

// '*' stands for any run of characters and '?' for one; letters compare case-blind. A mask
// that ends in ".*" also takes a name without an extension.
bool MatchMask(const char* mask, const char* name) {
    const char* starMask = nullptr;
    const char* starName = nullptr;
    while (*name) {
        if (*mask == '*') {
            starMask = ++mask;
            starName = name;
        } else if (*mask && (*mask == '?' || SameLetter(*mask, *name))) {
            ++mask;
            ++name;
        } else if (starMask) {
            mask = starMask;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (*mask == '*') ++mask;
    return *mask == '\0' || std::strcmp(mask, ".*") == 0;
}

bool MatchAny(const CStringArray& masks, const std::string& name) {
    for (int i = 0; i < masks.GetSize(); ++i)
        if (MatchMask(masks.GetAt(i).c_str(), name.c_str())) return true;
    return false;
}

// A folder entry as a relative folder in lower case, '/' between names and none at the end;
// "." for the base folder.
std::string FolderOf(const CString& entry) {
    std::string folder = Lower(entry.str());
    std::replace(folder.begin(), folder.end(), '\\', '/');
    while (!folder.empty() && folder.back() == '/') folder.pop_back();
    while (folder.rfind("./", 0) == 0) folder.erase(0, 2);
    return folder.empty() ? "." : folder;
}

// dir: the file's folder relative to the base, in lower case; "." for the base itself.
bool Covers(const CMaskSpec& spec, const std::string& dir) {
    const CStringArray& folders = spec.GetRelativeDirs();
    for (int i = 0; i < folders.GetSize(); ++i) {
        std::string folder = FolderOf(folders.GetAt(i));
        if (folder == ".") {
            if (dir == "." || spec.IsIncludeSubDirs()) return true;
        } else if (folder == "*") {
            if (dir != ".") return true;
        } else if (dir == folder || (spec.IsIncludeSubDirs() && dir.rfind(folder + "/", 0) == 0)) {
            return true;
        }
    }
    return false;
}

bool IsGlobalExclusion(const CMaskSpec& spec) {
    return spec.GetRelativeDirs().GetSize() > 0 &&
           spec.GetRelativeDirs().GetAt(0) == CMaskSpec::szGlobalExclusion;
}

bool Selects(const CPattern& pattern, const std::string& dir, const std::string& name) {
    bool included = false;
    for (int i = 0; i < pattern.GetSize(); ++i) {
        const CMaskSpec* spec = pattern.GetMaskAt(i);
        if (!spec) continue;
        if (IsGlobalExclusion(*spec)) {
            if (MatchAny(spec->GetExcludes(), name)) return false;
        } else if (Covers(*spec, dir)) {
            if (MatchAny(spec->GetExcludes(), name)) return false;
            included = included || MatchAny(spec->GetIncludes(), name);
        }
    }
    return included;
}

// The pattern a pattern file gives: the first of a CPatternArray, or a CPattern itself.
struct Loaded {
    std::unique_ptr<CObject> object;
    const CPattern* pattern = nullptr;
};

// An XML document begins with '<' after blanks (and a byte order mark); an archive of an
// object never does (its first byte is the class tag's, 0xFF for a new class).
bool IsXmlFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    int c;
    do c = std::fgetc(file);
    while (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0xEF || c == 0xBB || c == 0xBF);
    std::fclose(file);
    return c == '<';
}

int LoadPattern(const std::string& path, Loaded& loaded) {
    std::string why = WhyNotReadable(path);
    if (!why.empty()) return Failure("cannot read " + path + ": " + why);
    if (IsXmlFile(path)) {
        std::unique_ptr<CObjectP> object;
        if (int failed = LoadXmlProperty(path, object)) return failed;
        loaded.object = std::move(object);
    } else {
        try {
            CFile file(path.c_str(), CFile::modeRead);
            CArchive ar(&file, CArchive::load);
            loaded.object.reset(ar.ReadObject(nullptr));
        } catch (CException* e) {
            return ReportException(e, "cannot read " + path);
        }
    }
    if (auto* list = dynamic_cast<const CPatternArray*>(loaded.object.get()))
        loaded.pattern = list->GetSize() > 0 ? list->GetPatternAt(0) : nullptr;
    else
        loaded.pattern = dynamic_cast<const CPattern*>(loaded.object.get());
    if (!loaded.pattern) return Failure(path + " holds no pattern (CPatternArray or CPattern)");
    return 0;
}

struct {
    std::string base, file;
} select;

int Select() {
    Loaded loaded;
    if (int failed = LoadPattern(select.file, loaded)) return failed;
    std::error_code error;
    if (!fs::is_directory(select.base, error)) return Failure(select.base + " is no folder");
    const fs::path base(select.base);
    std::vector<std::string> selected;
    fs::recursive_directory_iterator it(base, fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (!it->is_regular_file(error)) continue;
        fs::path relative = it->path().lexically_relative(base);
        std::string dir = Lower(relative.parent_path().generic_string());
        if (Selects(*loaded.pattern, dir.empty() ? "." : dir, relative.filename().string()))
            selected.push_back(relative.generic_string());
    }
    if (error) return Failure("cannot read " + select.base + ": " + error.message());
    std::sort(selected.begin(), selected.end());
    for (const auto& path : selected) std::printf("%s\n", path.c_str());
    return 0;
}

struct {
    std::string file, name, include, exclude, subDirs;
    bool allSubDirs = false, masksInSubDirs = false;
} made;

void Unpack(const std::string& text, CStringArray& list) {
    if (!text.empty()) CStringService::UnpackFromString2(list, text.c_str(), ";", true);
}

int PatternNew() {
    CStringArray include, exclude, subDirs;
    Unpack(made.include, include);
    Unpack(made.exclude, exclude);
    Unpack(made.subDirs, subDirs);
    CPattern pattern;
    pattern.GetPatternName() = made.name.c_str();
    pattern.SetSimple(1);
    pattern.ConvertFromSimple(include, exclude, made.allSubDirs, subDirs, made.masksInSubDirs);
    try {
        CFile file(made.file.c_str(), CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        ar.WriteObject(&pattern);
        ar.Close();
        file.Close();
    } catch (CException* e) {
        return ReportException(e, "cannot write " + made.file);
    }
    return 0;
}

const char* const kReading =
    "kst select reads the masks its own way; the library stores and converts selections but "
    "matches no masks. Masks take '*' and '?' and compare case-blind (\"name.*\" also takes a "
    "name without an extension); excludes win over includes. Folders: \".\\\" is the base "
    "folder, \"*\\\" every subfolder, any other a named subfolder; when a mask spec "
    "reaches into subfolders, the folders below count too.";

Registration selectionCommands({"pattern-new", "select"}, [](CLI::App& kst) {
    CLI::App* patternNew = AddCommand(
        kst, "pattern-new",
        "store a pattern built from the simple choice (ConvertFromSimple) in an archive file",
        PatternNew);
    patternNew->add_option("FILE", made.file, "the archive file to write")->required();
    patternNew->add_option("--name", made.name, "the pattern's name")->required();
    patternNew->add_option("--include", made.include, "include masks, separated by ;")->required();
    patternNew->add_option("--exclude", made.exclude, "exclude masks, separated by ;");
    CLI::Option* all =
        patternNew->add_flag("--all-subdirs", made.allSubDirs, "every subfolder is chosen");
    patternNew->add_option("--subdirs", made.subDirs, "the chosen subfolders, separated by ;")
        ->excludes(all);
    patternNew->add_flag("--masks-in-subdirs", made.masksInSubDirs,
                         "the masks apply in the chosen subfolders (else every file there)");

    CLI::App* cmd =
        AddCommand(kst, "select",
                   "print the files under BASEDIR that the first pattern of PATTERNFILE selects "
                   "(this program's reading of the masks, see below)",
                   Select);
    cmd->add_option("BASEDIR", select.base, "the folder the pattern's folders are relative to")
        ->required();
    cmd->add_option("PATTERNFILE", select.file,
                    "an archive file or XML document holding a CPatternArray or CPattern")
        ->required();
    cmd->footer(kReading);
    kst.footer(kst.get_footer() + "\n\n" + kReading);
});

}  // namespace
}  // namespace kstool

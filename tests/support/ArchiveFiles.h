// Archives through real files: store with a callback, read the bytes, load them back.
#pragma once

#include <functional>
#include <string>

#include "KstArchive.h"
#include "KstFile.h"
#include "KstTest.h"

namespace ksttest {

inline std::string NewArchivePath() {
    static int counter = 0;
    return ScratchDir() + "/archive" + std::to_string(++counter) + ".bin";
}

// Stores through fn into a new file; answers the file's bytes.
inline std::string StoreFile(const std::string& path, const std::function<void(CArchive&)>& fn) {
    CFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite);
    CArchive ar(&file, CArchive::store);
    fn(ar);
    ar.Close();
    file.Close();
    return ReadFile(path);
}

inline std::string Store(const std::function<void(CArchive&)>& fn) {
    return StoreFile(NewArchivePath(), fn);
}

inline void LoadFile(const std::string& path, const std::function<void(CArchive&)>& fn) {
    CFile file(path.c_str(), CFile::modeRead);
    CArchive ar(&file, CArchive::load);
    fn(ar);
}

// Writes the bytes into a new file and loads them through fn.
inline void LoadBytes(const std::string& bytes, const std::function<void(CArchive&)>& fn) {
    std::string path = NewArchivePath();
    WriteFile(path, bytes);
    LoadFile(path, fn);
}

// The cause of the exception of class E (CArchiveException, CFileException) that fn raises;
// -1 when it raises none.
template <class E>
int CauseOf(const std::function<void()>& fn) {
    try {
        fn();
    } catch (E* e) {
        int cause = e->m_cause;
        e->Delete();
        return cause;
    }
    return -1;
}

inline int ArchiveCause(const std::function<void()>& fn) {
    return CauseOf<CArchiveException>(fn);
}

// Loads the bytes through fn; answers the cause of the CArchiveException it ends in, or -1.
inline int LoadCause(const std::string& bytes, const std::function<void(CArchive&)>& fn) {
    return ArchiveCause([&] { LoadBytes(bytes, fn); });
}

// The bytes of the framework's tag for a new class.
inline std::string NewClassTag(const std::string& name, unsigned schema) {
    std::string tag = "\xff\xff";
    tag += static_cast<char>(schema & 0xFF);
    tag += static_cast<char>(schema >> 8);
    tag += static_cast<char>(name.size() & 0xFF);
    tag += static_cast<char>(name.size() >> 8);
    return tag + name;
}

}  // namespace ksttest

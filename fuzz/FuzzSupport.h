// What every fuzz target shares: a scratch folder of its own process, files written from the
// input, and the framework's exceptions let go of.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "KstObject.h"

namespace kstfuzz {

// A folder under the system's temporary folder, removed when the process ends normally.
inline const std::string& ScratchDir() {
    // Never destroyed: the removal at exit runs after the statics are gone.
    static const std::string* dir = [] {
        auto* path = new std::string(
            (std::filesystem::temp_directory_path() / ("kst-fuzz-" + std::to_string(getpid())))
                .string());
        std::filesystem::remove_all(*path);
        std::filesystem::create_directories(*path);
        std::atexit([] { std::filesystem::remove_all(ScratchDir()); });
        return path;
    }();
    return *dir;
}

inline std::string Path(const std::string& name) {
    return ScratchDir() + "/" + name;
}

inline void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}

inline std::string ReadFile(const std::string& path) {
    std::string bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    std::fclose(f);
    return bytes;
}

// A broken promise of the library: reported as a crash so that the input is kept.
inline void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "kst fuzz: %s\n", what);
    std::abort();
}

// Runs fn; a framework exception it raises is an answer, not a finding. Answers whether one was
// raised.
template <class Fn>
bool Raises(Fn&& fn) {
    try {
        fn();
    } catch (CException* e) {
        e->Delete();
        return true;
    }
    return false;
}

}  // namespace kstfuzz

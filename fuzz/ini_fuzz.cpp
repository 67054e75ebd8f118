// An ini text read by the private-profile calls: every section, every key and its value as
// listed, then a key written into it and everything listed again. The reader's own ways with
// lines (a bare line feed costs a line its last character) are its form, not findings: only
// the answers' bounds are checked.
#include <algorithm>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "KstPrivateProfile.h"

namespace {

// The zero-separated list a null section or key answers.
std::vector<std::string> List(const char* section, const std::string& path) {
    constexpr DWORD kSize = 70000;
    static char* buffer = new char[kSize];  // not cleared per call: the answer says its length
    DWORD n = GetPrivateProfileStringA(section, nullptr, "", buffer, kSize, path.c_str());
    kstfuzz::Require(n < kSize, "a list runs past its buffer");
    std::vector<std::string> items;
    for (size_t at = 0; at < n;) {
        std::string item(buffer + at);
        at += item.size() + 1;
        items.push_back(item);
    }
    return items;
}

std::string Value(const std::string& section, const std::string& key, const std::string& path) {
    char buffer[70000];
    DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "\x01", buffer, sizeof buffer,
                                       path.c_str());
    kstfuzz::Require(n < sizeof buffer, "a value runs past its buffer");
    GetPrivateProfileIntA(section.c_str(), key.c_str(), 7, path.c_str());
    return buffer;
}

// Every call reads the file again: a few sections and keys of each input are enough to walk
// the reader, and keep the runs fast.
constexpr size_t kListed = 12;

void ListAll(const std::string& path) {
    auto sections = List(nullptr, path);
    sections.resize(std::min(sections.size(), kListed));
    for (const auto& section : sections) {
        auto keys = List(section.c_str(), path);
        keys.resize(std::min(keys.size(), kListed));
        for (const auto& key : keys) Value(section, key, path);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = kstfuzz::Path("settings.ini");
    kstfuzz::WriteFile(path, data, size);
    ListAll(path);
    if (WritePrivateProfileStringA("KstFuzz", "Added", "value", path.c_str())) ListAll(path);
    // The first section's first key replaced, then the section removed.
    std::vector<std::string> sections = List(nullptr, path);
    if (!sections.empty()) {
        std::vector<std::string> keys = List(sections[0].c_str(), path);
        if (!keys.empty())
            WritePrivateProfileStringA(sections[0].c_str(), keys[0].c_str(), "v2", path.c_str());
        WritePrivateProfileStringA(sections[0].c_str(), nullptr, nullptr, path.c_str());
        ListAll(path);
    }
    return 0;
}

// An ini text read by the private-profile calls: every section, every key and its value as
// listed, then a key written into it and everything listed again. The reader's own ways with
// lines (a bare line feed costs a line its last character) are its form, not findings: only
// the answers' bounds are checked.
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "KstPrivateProfile.h"

namespace {

// The zero-separated list a null section or key answers.
std::vector<std::string> List(const char* section, const std::string& path) {
    std::vector<char> buffer(70000);
    DWORD n = GetPrivateProfileStringA(section, nullptr, "", buffer.data(),
                                       static_cast<DWORD>(buffer.size()), path.c_str());
    kstfuzz::Require(n < buffer.size(), "a list runs past its buffer");
    std::vector<std::string> items;
    for (size_t at = 0; at < n;) {
        std::string item(buffer.data() + at);
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

void ListAll(const std::string& path) {
    for (const auto& section : List(nullptr, path))
        for (const auto& key : List(section.c_str(), path)) Value(section, key, path);
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

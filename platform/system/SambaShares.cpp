// Reads the shares of Samba's configuration: each section of smb.conf with a `path =` (or its
// synonym `directory =`), then the user shares. Sections without a path are left out.
#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <mutex>

#include "KstPlatform.h"
#include "KstWin32System.h"
#include "internal/CodePage.h"
#include "internal/Shares.h"

namespace kst::detail {
namespace {

constexpr const char* kDefaultConfig = "/etc/samba/smb.conf";
constexpr const char* kDefaultUsershares = "/var/lib/samba/usershares";

struct SambaPaths {
    std::mutex mutex;
    std::string config = kDefaultConfig;
    std::string usershares = kDefaultUsershares;
};

SambaPaths& Paths() {
    static SambaPaths* paths = new SambaPaths;
    return *paths;
}

std::string Trim(const std::string& text) {
    auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// Samba's parameter names ignore case and blanks: "Read Only" is "readonly".
std::string KeyOf(const std::string& text) {
    std::string key;
    for (char ch : text)
        if (ch != ' ' && ch != '\t') key += static_cast<char>(std::tolower((unsigned char)ch));
    return key;
}

bool IsYes(const std::string& value) {
    std::string v = KeyOf(value);
    return v == "yes" || v == "true" || v == "1";
}

// Samba keeps its files in UTF-8; the library holds texts in the ANSI code page.
std::string ToAnsi(const std::string& utf8) {
    return Convert(utf8, 65001, AnsiCodePage());
}

struct Section {
    std::string name;
    ShareInfo share;
    bool hasPath = false;
};

void TakeParameter(Section& section, const std::string& key, const std::string& value) {
    if (key == "path" || key == "directory") {
        section.share.path = ToAnsi(value);
        section.hasPath = true;
    } else if (key == "comment") {
        section.share.remark = ToAnsi(value);
    } else if ((key == "printable" || key == "printok") && IsYes(value)) {
        section.share.type = STYPE_PRINTQ;
    }
}

void AddSection(std::vector<ShareInfo>& shares, Section& section) {
    if (section.hasPath && KeyOf(section.name) != "global") {
        section.share.name = ToAnsi(section.name);
        shares.push_back(std::move(section.share));
    }
    section = Section{};
}

// Lines ending in a backslash continue on the next one.
bool ReadLogicalLine(std::istream& in, std::string& line) {
    line.clear();
    for (std::string part; std::getline(in, part);) {
        if (!part.empty() && part.back() == '\r') part.pop_back();
        if (!part.empty() && part.back() == '\\') {
            line += part.substr(0, part.size() - 1);
            continue;
        }
        line += part;
        return true;
    }
    return !line.empty();
}

void ReadConfig(const std::string& path, std::vector<ShareInfo>& shares) {
    std::ifstream in(path);
    Section section;
    for (std::string raw; ReadLogicalLine(in, raw);) {
        std::string line = Trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line[0] == '[') {
            AddSection(shares, section);
            auto close = line.find(']');
            section.name = Trim(line.substr(1, close == std::string::npos ? close : close - 1));
            continue;
        }
        auto equals = line.find('=');
        if (equals != std::string::npos && !section.name.empty())
            TakeParameter(section, KeyOf(line.substr(0, equals)), Trim(line.substr(equals + 1)));
    }
    AddSection(shares, section);
}

// A user share is a file of key=value lines: path, comment, sharename (the name's case).
void ReadUsershare(const std::string& folder, const std::string& fileName,
                   std::vector<ShareInfo>& shares) {
    std::ifstream in(folder + "/" + fileName);
    ShareInfo share;
    share.name = fileName;
    bool hasPath = false;
    for (std::string line; std::getline(in, line);) {
        auto equals = line.find('=');
        if (equals == std::string::npos) continue;
        std::string key = KeyOf(line.substr(0, equals));
        std::string value = Trim(line.substr(equals + 1));
        if (key == "path") {
            share.path = value;
            hasPath = true;
        } else if (key == "comment") {
            share.remark = value;
        } else if (key == "sharename" && !value.empty()) {
            share.name = value;
        }
    }
    if (!hasPath) return;
    share.name = ToAnsi(share.name);
    share.path = ToAnsi(share.path);
    share.remark = ToAnsi(share.remark);
    shares.push_back(std::move(share));
}

void ReadUsershares(const std::string& folder, std::vector<ShareInfo>& shares) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    std::vector<std::string> names;
    while (dirent* entry = ::readdir(dir))
        if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const auto& name : names) ReadUsershare(folder, name, shares);
}

}  // namespace

std::vector<ShareInfo> ReadSambaShares(const std::string& configPath,
                                       const std::string& usershareFolder) {
    std::vector<ShareInfo> shares;
    ReadConfig(configPath, shares);
    ReadUsershares(usershareFolder, shares);
    return shares;
}

void SetSambaPaths(const std::string& configPath, const std::string& usershareFolder) {
    auto& paths = Paths();
    std::lock_guard lock(paths.mutex);
    paths.config = configPath.empty() ? kDefaultConfig : configPath;
    paths.usershares = usershareFolder.empty() ? kDefaultUsershares : usershareFolder;
}

std::vector<ShareInfo> SambaShares() {
    std::string config, usershares;
    {
        auto& paths = Paths();
        std::lock_guard lock(paths.mutex);
        config = paths.config;
        usershares = paths.usershares;
    }
    return ReadSambaShares(config, usershares);
}

}  // namespace kst::detail

void kst::SetShareConfiguration(const std::string& smbConf, const std::string& usershareFolder) {
    detail::SetSambaPaths(smbConf, usershareFolder);
}

#include "internal/MountTable.h"

#include <cctype>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

#include "KstPlatform.h"

namespace kst::detail {
namespace {

struct MountTableSource {
    std::mutex mutex;
    std::string path = "/proc/self/mountinfo";
};

MountTableSource& Source() {
    static MountTableSource* source = new MountTableSource;
    return *source;
}

std::string TablePath() {
    auto& source = Source();
    std::lock_guard lock(source.mutex);
    return source.path;
}

// mountinfo escapes blanks and backslashes as \ooo.
std::string Unescape(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && std::isdigit((unsigned char)field[i + 1]) &&
            std::isdigit((unsigned char)field[i + 2]) &&
            std::isdigit((unsigned char)field[i + 3])) {
            out += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

// id parent major:minor root mount-point options [optional...] - fstype source super-options
std::optional<MountEntry> ParseLine(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> fields;
    for (std::string field; in >> field;) fields.push_back(field);
    size_t dash = 6;
    while (dash < fields.size() && fields[dash] != "-") ++dash;
    if (fields.size() < 5 || dash + 2 >= fields.size()) return std::nullopt;
    return MountEntry{Unescape(fields[4]), Unescape(fields[3]), fields[dash + 1],
                      Unescape(fields[dash + 2])};
}

bool SameChar(char a, char b, bool ignoreCase) {
    return ignoreCase ? std::tolower((unsigned char)a) == std::tolower((unsigned char)b) : a == b;
}

bool IsUnder(const std::string& path, const std::string& mountPoint, bool ignoreCase) {
    if (mountPoint == "/") return !path.empty() && path[0] == '/';
    if (path.size() < mountPoint.size()) return false;
    for (size_t i = 0; i < mountPoint.size(); ++i)
        if (!SameChar(path[i], mountPoint[i], ignoreCase)) return false;
    return path.size() == mountPoint.size() || path[mountPoint.size()] == '/';
}

}  // namespace

std::optional<MountEntry> FindMount(const std::string& hostPath, bool ignoreCase) {
    std::ifstream table(TablePath());
    std::optional<MountEntry> best;
    for (std::string line; std::getline(table, line);) {
        auto entry = ParseLine(line);
        // Later lines are mounted on top of earlier ones at the same point.
        if (entry && IsUnder(hostPath, entry->mountPoint, ignoreCase) &&
            (!best || entry->mountPoint.size() >= best->mountPoint.size()))
            best = std::move(entry);
    }
    return best;
}

bool IsSmbFileSystem(const std::string& fileSystem) {
    return fileSystem == "cifs" || fileSystem == "smb3" || fileSystem == "smbfs";
}

bool IsRemoteFileSystem(const std::string& fileSystem) {
    return IsSmbFileSystem(fileSystem) || fileSystem == "nfs" || fileSystem == "nfs4";
}

void SetMountTablePath(const std::string& path) {
    auto& source = Source();
    std::lock_guard lock(source.mutex);
    source.path = path.empty() ? "/proc/self/mountinfo" : path;
}

}  // namespace kst::detail

void kst::SetMountTable(const std::string& path) {
    detail::SetMountTablePath(path);
}

// The module's string table, behind the texts a host registers. Texts are kept in UTF-8 and
// given out in the ANSI code page.
#include "internal/StringTable.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>

#include "KstPlatform.h"
#include "internal/CodePage.h"

namespace kst::detail {
namespace {

struct StringEntry {
    UINT id;
    const char* utf8;
};

constexpr StringEntry kStrings[] = {
    {1, "Ошибка: %s%s\n%s."},
    {2,
     "Обнаружена ошибка при записи архива на дискету.\nРекомендуется заменить дискету и "
     "повторить запись тома.\n"},
    {3, "Повторить (Да/Yes) или Игнорировать (Нет/No)?"},
};

struct HostTable {
    std::mutex mutex;
    std::map<UINT, std::string> texts;  // UTF-8
};

HostTable& Host() {
    static HostTable* table = new HostTable;  // outlives every global that loads a string
    return *table;
}

// The text of one line, or nullopt when a quoted text is not closed or an escape is unknown.
std::optional<std::string> LineText(std::string_view rest) {
    if (rest.empty() || rest.front() != '"') return std::string(rest);
    std::string text;
    for (size_t i = 1; i < rest.size(); ++i) {
        char ch = rest[i];
        if (ch == '"')
            return rest.find_first_not_of(" \t\r", i + 1) == std::string_view::npos
                       ? std::optional<std::string>(text)
                       : std::nullopt;
        if (ch == '\\' && ++i < rest.size()) {
            switch (rest[i]) {
                case 'n':
                    ch = '\n';
                    break;
                case 't':
                    ch = '\t';
                    break;
                case '"':
                    ch = '"';
                    break;
                case '\\':
                    ch = '\\';
                    break;
                default:
                    return std::nullopt;
            }
        }
        text += ch;
    }
    return std::nullopt;
}

bool IsSkipped(std::string_view line) {
    size_t start = line.find_first_not_of(" \t\r");
    if (start == std::string_view::npos) return true;
    line.remove_prefix(start);
    return line.front() == ';' || line.substr(0, 2) == "//";
}

// "ID TEXT" into id and text; false for a malformed line.
bool ParseLine(std::string_view line, UINT& id, std::string& text) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
    std::string number(line.substr(0, line.find_first_of(" \t")));
    char* end = nullptr;
    unsigned long value = std::strtoul(number.c_str(), &end, 0);
    if (number.empty() || !std::isdigit(static_cast<unsigned char>(number[0])) || *end ||
        value > 0xFFFF)
        return false;
    std::string_view rest = line.substr(number.size());
    rest.remove_prefix(std::min(rest.find_first_not_of(" \t"), rest.size()));
    auto parsed = LineText(rest);
    if (!parsed) return false;
    id = static_cast<UINT>(value);
    text = std::move(*parsed);
    return true;
}

}  // namespace

bool LoadModuleString(UINT id, std::string& text) {
    {
        auto& host = Host();
        std::lock_guard lock(host.mutex);
        auto found = host.texts.find(id);
        if (found != host.texts.end()) {
            text = FromUtf8ToAnsi(found->second.c_str());
            return true;
        }
    }
    for (const auto& entry : kStrings) {
        if (entry.id == id) {
            text = FromUtf8ToAnsi(entry.utf8);
            return true;
        }
    }
    return false;
}

}  // namespace kst::detail

void kst::RegisterString(unsigned id, const std::string& text) {
    auto& host = detail::Host();
    std::lock_guard lock(host.mutex);
    host.texts[id] = text;
}

bool kst::LoadStringTable(const std::string& path, unsigned* bad) {
    if (bad) *bad = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::map<UINT, std::string> texts;
    std::string line;
    for (unsigned number = 1; std::getline(in, line); ++number) {
        if (detail::IsSkipped(line)) continue;
        UINT id = 0;
        std::string text;
        if (!detail::ParseLine(line, id, text)) {
            if (bad) *bad = number;
            return false;
        }
        texts[id] = std::move(text);
    }
    for (auto& [id, text] : texts) RegisterString(id, text);
    return true;
}

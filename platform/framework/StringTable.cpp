// The module's string table. Texts are kept in UTF-8 and given out in the ANSI code page.
#include "internal/StringTable.h"

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

}  // namespace

bool LoadModuleString(UINT id, std::string& text) {
    for (const auto& entry : kStrings) {
        if (entry.id == id) {
            text = FromUtf8ToAnsi(entry.utf8);
            return true;
        }
    }
    return false;
}

}  // namespace kst::detail

// Resources: those a host registers (kst::RegisterResource) and the module's string table.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <list>
#include <map>
#include <mutex>
#include <string>

#include "KstPlatform.h"
#include "KstWin32Base.h"
#include "KstWin32System.h"
#include "internal/CodePage.h"
#include "internal/StringTable.h"

namespace {

struct Resource {
    std::string type;
    unsigned id;
    std::string bytes;
};

struct ResourceTable {
    std::mutex mutex;
    // Resources are never freed: a replaced one stays valid for whoever locked it.
    std::list<Resource> all;
    std::map<std::pair<std::string, unsigned>, Resource*> current;
};

ResourceTable& Table() {
    static ResourceTable* table = new ResourceTable;
    return *table;
}

std::string TypeKey(std::string type) {
    kst::detail::ToUpper(type);
    return type;
}

// A name or type given as a number, MAKEINTRESOURCE or "#n"; -1 for a text name.
long NumberOf(LPCSTR name) {
    if (IS_INTRESOURCE(name)) return static_cast<long>(reinterpret_cast<ULONG_PTR>(name));
    if (name[0] == '#') return std::strtol(name + 1, nullptr, 10);
    return -1;
}

std::string TypeName(LPCSTR type) {
    long number = NumberOf(type);
    return number >= 0 ? "#" + std::to_string(number) : TypeKey(type);
}

Resource* AsResource(HRSRC handle) {
    return static_cast<Resource*>(handle);
}

}  // namespace

namespace kst {

void RegisterResource(const std::string& type, unsigned id, std::string bytes) {
    auto& table = Table();
    std::lock_guard lock(table.mutex);
    table.all.push_back({TypeKey(type), id, std::move(bytes)});
    table.current[{table.all.back().type, id}] = &table.all.back();
}

}  // namespace kst

HRSRC FindResourceA(HMODULE, LPCSTR name, LPCSTR type) {
    if (!name || !type) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    long id = NumberOf(name);
    if (id < 0) {  // resources are registered by number only
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    auto& table = Table();
    std::lock_guard lock(table.mutex);
    auto it = table.current.find({TypeName(type), static_cast<unsigned>(id)});
    if (it == table.current.end()) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return it->second;
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
    if (!resource) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return resource;
}

LPVOID LockResource(HGLOBAL resourceData) {
    return resourceData ? AsResource(resourceData)->bytes.data() : nullptr;
}

DWORD SizeofResource(HMODULE, HRSRC resource) {
    return resource ? static_cast<DWORD>(AsResource(resource)->bytes.size()) : 0;
}

// Copies the text, cut to the buffer; a buffer size of 0 is not supported here.
int LoadStringA(HINSTANCE, UINT id, LPSTR buffer, int bufferMax) {
    std::string text;
    if (!buffer || bufferMax <= 0 || !kst::detail::LoadModuleString(id, text)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        if (buffer && bufferMax > 0) buffer[0] = '\0';
        return 0;
    }
    size_t n = std::min(text.size(), size_t(bufferMax - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

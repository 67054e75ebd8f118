// LoadLibraryA, GetProcAddress, FreeLibrary and GetModuleFileNameA.
#include <dlfcn.h>
#include <link.h>
#include <sys/auxv.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "KstWin32Base.h"
#include "KstWin32Files.h"
#include "KstWin32System.h"
#include "internal/CodePage.h"
#include "internal/Libraries.h"
#include "internal/Paths.h"

namespace kst::detail {
namespace {

struct BuiltinModule {
    const char* fileName;
    const ModuleExports& (*exports)();
};

const BuiltinModule kBuiltins[] = {
    {"netapi32.dll", &NetApi32Exports},
    {"svrapi.dll", &SvrApiExports},
};

struct LibraryState {
    std::mutex mutex;
    std::set<std::string> blocked;  // lower-case file names
    std::map<void*, int> loaded;    // dlopen handles and their load counts
};

LibraryState& State() {
    static LibraryState* state = new LibraryState;
    return *state;
}

std::string LowerFileName(std::string_view path) {
    auto sep = std::find_if(path.rbegin(), path.rend(), IsSeparator);
    std::string name(path.substr(path.size() - size_t(sep - path.rbegin())));
    ToLower(name);
    return name;
}

const BuiltinModule* FindBuiltin(std::string_view name) {
    std::string lower = LowerFileName(name);
    for (const auto& module : kBuiltins)
        if (lower == module.fileName || lower + ".dll" == module.fileName) return &module;
    return nullptr;
}

const BuiltinModule* AsBuiltin(HMODULE module) {
    for (const auto& builtin : kBuiltins)
        if (module == &builtin) return &builtin;
    return nullptr;
}

bool IsLoadedLibrary(HMODULE module) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    return state.loaded.count(module) != 0;
}

std::string ExecutablePath() {
    char path[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, size_t(n)) : std::string();
}

// GetModuleHandleA(nullptr): the program's headers, an address that no library shares.
HMODULE ProgramHandle() {
    return reinterpret_cast<HMODULE>(::getauxval(AT_PHDR));
}

std::string StemOf(std::string_view path) {
    std::string name = LowerFileName(path);
    auto dot = name.find('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

struct ModuleSearch {
    std::string stem;
    HMODULE found = nullptr;
};

// An address inside the first loaded segment, which dladdr maps back to the object's file.
int MatchLoadedObject(dl_phdr_info* info, size_t, void* data) {
    auto* search = static_cast<ModuleSearch*>(data);
    if (!info->dlpi_name || !*info->dlpi_name) return 0;
    std::string stem = StemOf(info->dlpi_name);  // "KstSystem.dll" finds libKstSystem.so too
    if (stem != search->stem && stem != "lib" + search->stem) return 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        if (info->dlpi_phdr[i].p_type == PT_LOAD) {
            search->found = reinterpret_cast<HMODULE>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr);
            return 1;
        }
    }
    return 0;
}

std::string ModulePath(HMODULE module) {
    if (!module || module == ProgramHandle()) return ExecutablePath();
    if (auto builtin = AsBuiltin(module)) return builtin->fileName;
    if (IsLoadedLibrary(module)) {
        link_map* map = nullptr;
        if (::dlinfo(module, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && *map->l_name)
            return map->l_name;
        return ExecutablePath();
    }
    Dl_info info{};
    if (::dladdr(module, &info) && info.dli_fname) return info.dli_fname;
    return {};
}

}  // namespace

HMODULE ModuleOfAddress(const void* address) {
    Dl_info info{};
    if (::dladdr(address, &info) && info.dli_fbase) return static_cast<HMODULE>(info.dli_fbase);
    return nullptr;
}

void SetLibraryLoadBlocked(const std::string& name, bool blocked) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    std::string lower = LowerFileName(name);
    if (blocked)
        state.blocked.insert(lower);
    else
        state.blocked.erase(lower);
}

}  // namespace kst::detail

HMODULE LoadLibraryA(LPCSTR fileName) {
    using namespace kst::detail;
    if (!fileName || !*fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto& state = State();
    {
        std::lock_guard lock(state.mutex);
        if (state.blocked.count(LowerFileName(fileName))) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
    }
    if (auto builtin = FindBuiltin(fileName))
        return const_cast<void*>(static_cast<const void*>(builtin));
    auto host = HostPath(fileName);
    void* handle = host ? ::dlopen(host->c_str(), RTLD_NOW | RTLD_LOCAL) : nullptr;
    if (!handle) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard lock(state.mutex);
    ++state.loaded[handle];
    return handle;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
    using namespace kst::detail;
    if (!procName || IS_INTRESOURCE(procName)) {  // no ordinals here
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    if (auto builtin = AsBuiltin(module)) {
        for (const auto& [name, proc] : builtin->exports())
            if (name == procName) return proc;
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* symbol = ::dlsym(module && IsLoadedLibrary(module) ? module : RTLD_DEFAULT, procName);
    if (!symbol) SetLastError(ERROR_PROC_NOT_FOUND);
    return symbol;
}

BOOL FreeLibrary(HMODULE module) {
    using namespace kst::detail;
    if (AsBuiltin(module)) return TRUE;
    auto& state = State();
    std::unique_lock lock(state.mutex);
    auto it = state.loaded.find(module);
    if (it == state.loaded.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (--it->second == 0) state.loaded.erase(it);
    lock.unlock();
    ::dlclose(module);
    return TRUE;
}

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    using namespace kst::detail;
    if (!moduleName) return ProgramHandle();
    if (auto builtin = FindBuiltin(moduleName))
        return const_cast<void*>(static_cast<const void*>(builtin));
    ModuleSearch search{StemOf(moduleName)};
    if (!search.stem.empty()) ::dl_iterate_phdr(MatchLoadedObject, &search);
    if (!search.found) SetLastError(ERROR_MOD_NOT_FOUND);
    return search.found;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    std::string path = kst::detail::ModulePath(module);
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (!fileName || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() >= size) {  // cut to the buffer and still ended by a zero
        std::memcpy(fileName, path.data(), size - 1);
        fileName[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(fileName, path.c_str(), path.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

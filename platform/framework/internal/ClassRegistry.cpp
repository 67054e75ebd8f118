// The registry of runtime classes: per-module lists and an index by name.
#include "internal/ClassRegistry.h"

#include <dlfcn.h>

#include <algorithm>

namespace kst::detail {

namespace {

const void* ModuleBaseOf(const void* address) {
    Dl_info info{};
    return dladdr(address, &info) ? info.dli_fbase : nullptr;
}

bool LiesInThisLibrary(const void* address) {
    static const void* const ownBase = ModuleBaseOf(reinterpret_cast<const void*>(&ModuleBaseOf));
    return ownBase && ModuleBaseOf(address) == ownBase;
}

}  // namespace

ClassRegistry& ClassRegistry::Instance() {
    // Never destroyed: classes of other modules may still unregister during exit.
    static ClassRegistry* const registry = new ClassRegistry;
    return *registry;
}

ClassRegistry::ClassRegistry() {
    m_state.m_pClassList = new AFX_CLASS_LIST;
}

void ClassRegistry::Register(CRuntimeClass* pClass) {
    std::lock_guard lock(m_mutex);
    if (!m_state.m_pClassList) m_state.m_pClassList = new AFX_CLASS_LIST;
    AFX_CLASS_LIST* list = m_state.m_pClassList;
    auto& candidates = m_byName[pClass->m_lpszClassName];
    for (const Candidate& c : candidates)
        if (c.cls == pClass && c.owner == list) return;
    list->classes.push_back(pClass);
    candidates.push_back({pClass, list, LiesInThisLibrary(pClass)});
}

CRuntimeClass* ClassRegistry::Find(const std::string& name) {
    std::lock_guard lock(m_mutex);
    auto it = m_byName.find(name);
    if (it == m_byName.end() || it->second.empty()) return nullptr;
    for (const Candidate& c : it->second)
        if (c.inLibrary) return c.cls;
    return it->second.front().cls;
}

int ClassRegistry::CountNamed(const std::string& name) {
    std::lock_guard lock(m_mutex);
    auto it = m_byName.find(name);
    return it == m_byName.end() ? 0 : static_cast<int>(it->second.size());
}

void ClassRegistry::Unregister(CRuntimeClass* pClass) {
    std::lock_guard lock(m_mutex);
    auto it = m_byName.find(pClass->m_lpszClassName);
    if (it == m_byName.end()) return;
    for (const Candidate& c : it->second)
        if (c.cls == pClass) std::erase(c.owner->classes, pClass);
    std::erase_if(it->second, [pClass](const Candidate& c) { return c.cls == pClass; });
    if (it->second.empty()) m_byName.erase(it);
}

void ClassRegistry::DeleteList(AFX_CLASS_LIST* list) {
    if (!list) return;
    std::lock_guard lock(m_mutex);
    for (CRuntimeClass* cls : list->classes) {
        auto it = m_byName.find(cls->m_lpszClassName);
        if (it == m_byName.end()) continue;
        std::erase_if(it->second, [list](const Candidate& c) { return c.owner == list; });
        if (it->second.empty()) m_byName.erase(it);
    }
    if (m_state.m_pClassList == list) m_state.m_pClassList = nullptr;
    if (m_state.m_pClassInit == list) m_state.m_pClassInit = nullptr;
    delete list;
}

}  // namespace kst::detail

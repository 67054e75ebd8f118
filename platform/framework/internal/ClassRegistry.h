// The process-wide registry behind the module state: class lists and the name index.
#pragma once

#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "KstModule.h"
#include "KstObject.h"

struct AFX_CLASS_LIST {
    std::vector<CRuntimeClass*> classes;
};

namespace kst::detail {

class ClassRegistry {
public:
    static ClassRegistry& Instance();

    std::recursive_mutex& Mutex() { return m_mutex; }
    AFX_MODULE_STATE& State() { return m_state; }

    void Register(CRuntimeClass* pClass);
    CRuntimeClass* Find(const std::string& name);
    int CountNamed(const std::string& name);
    // Forgets a class in every list (its module is going away).
    void Unregister(CRuntimeClass* pClass);
    // Drops a list and its classes from the index.
    void DeleteList(AFX_CLASS_LIST* list);

private:
    ClassRegistry();
    struct Candidate {
        CRuntimeClass* cls;
        AFX_CLASS_LIST* owner;
        bool inLibrary;  // the class record lies in this library
    };

    std::recursive_mutex m_mutex;
    AFX_MODULE_STATE m_state{};
    // Several modules may register a name; the library's class wins, else the first one.
    std::unordered_map<std::string, std::vector<Candidate>> m_byName;
};

}  // namespace kst::detail

// CObject and CRuntimeClass: the framework's root class, its run-time type information and
// creation by class name; CException and CArchiveException, thrown as heap pointers
// (catch (CException* e) { ...; e->Delete(); }) as the framework does.
#pragma once

#include <cstddef>
#include <string>

#include "KstExport.h"
#include "KstWinTypes.h"

class CObject;
class CArchive;
class CDumpContext;

// A class's run-time record. Plain data so that the macros define it as a constant
// initialized at compile time (it may sit in read-only memory, so the per-module class lists
// live beside it, in the module state, not in the record; see KstModule.h).
struct KST_API CRuntimeClass {
    const char* m_lpszClassName;
    int m_nObjectSize;
    UINT m_wSchema;  // 0xFFFF: not serializable
    CObject* (*m_pfnCreateObject)();
    CRuntimeClass* m_pBaseClass;

    CObject* CreateObject() const;  // null when the class has no creation function
    BOOL IsDerivedFrom(const CRuntimeClass* pBaseClass) const;

    // Lookups among the registered classes of all modules (the library's first).
    static CRuntimeClass* FromName(const char* lpszClassName);
    static CObject* CreateObject(const char* lpszClassName);

    // The class tag of the archive format (a new class: schema, name length, name).
    void Store(CArchive& ar) const;
    static CRuntimeClass* Load(CArchive& ar, UINT* pwSchemaNum);
};

// Marks a schema whose readers accept older schemas: ReadObject lets any schema through and
// the object asks the archive for it with GetObjectSchema.
#define VERSIONABLE_SCHEMA (0x80000000u)

// Minimal dump target: Dump writes diagnostics to stderr.
class KST_API CDumpContext {
public:
    CDumpContext& operator<<(const char* text);
    CDumpContext& operator<<(const std::string& text) { return *this << text.c_str(); }
    CDumpContext& operator<<(long long value);
    CDumpContext& operator<<(int value) { return *this << static_cast<long long>(value); }
    CDumpContext& operator<<(unsigned value) { return *this << static_cast<long long>(value); }
    CDumpContext& operator<<(const void* pointer);
};
KST_API extern CDumpContext afxDump;

class KST_API CObject {
public:
    virtual ~CObject() = default;
    virtual CRuntimeClass* GetRuntimeClass() const;
    virtual void Serialize(CArchive& ar);
    virtual void AssertValid() const {}
    virtual void Dump(CDumpContext& dc) const;

    BOOL IsKindOf(const CRuntimeClass* pClass) const;
    BOOL IsSerializable() const;

    static const CRuntimeClass classCObject;

protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

// Registers a class at load into the module that is being loaded (see KstModule.h), and
// forgets it when its module is unloaded, so that no lookup hands out a class that is gone.
struct KST_API AFX_CLASSINIT {
    explicit AFX_CLASSINIT(CRuntimeClass* pNewClass);
    ~AFX_CLASSINIT();
    AFX_CLASSINIT(const AFX_CLASSINIT&) = delete;
    AFX_CLASSINIT& operator=(const AFX_CLASSINIT&) = delete;
    CRuntimeClass* m_pClass;
};
KST_API void AfxClassInit(CRuntimeClass* pNewClass);

#define RUNTIME_CLASS(class_name) (const_cast<CRuntimeClass*>(&class_name::class##class_name))

// Declarations inside a class body.
#define DECLARE_DYNAMIC(class_name)               \
public:                                           \
    static const CRuntimeClass class##class_name; \
    CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(class_name) \
    DECLARE_DYNAMIC(class_name)       \
    static CObject* CreateObject();

#define DECLARE_SERIAL(class_name) \
    DECLARE_DYNCREATE(class_name)  \
    friend CArchive& operator>>(CArchive& ar, class_name*& pOb);

// Definitions at namespace scope, in one source file each.
#define IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, wSchema, pfnNew)                     \
    const CRuntimeClass class_name::class##class_name = {                                        \
        #class_name, sizeof(class class_name), wSchema, pfnNew, RUNTIME_CLASS(base_class_name)}; \
    CRuntimeClass* class_name::GetRuntimeClass() const {                                         \
        return RUNTIME_CLASS(class_name);                                                        \
    }

#define IMPLEMENT_DYNAMIC(class_name, base_class_name) \
    IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, nullptr)

#define IMPLEMENT_DYNCREATE(class_name, base_class_name) \
    CObject* class_name::CreateObject() {                \
        return new class_name;                           \
    }                                                    \
    IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, class_name::CreateObject)

#define IMPLEMENT_SERIAL(class_name, base_class_name, wSchema)                             \
    CObject* class_name::CreateObject() {                                                  \
        return new class_name;                                                             \
    }                                                                                      \
    IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, wSchema, class_name::CreateObject) \
    static const AFX_CLASSINIT _init_##class_name(RUNTIME_CLASS(class_name));              \
    [[maybe_unused]] CArchive& operator>>(CArchive& ar, class_name*& pOb) {                \
        pOb = static_cast<class_name*>(ar.ReadObject(RUNTIME_CLASS(class_name)));          \
        return ar;                                                                         \
    }

// Exceptions of the framework.
class KST_API CException : public CObject {
    DECLARE_DYNAMIC(CException)
public:
    CException() = default;
    // Copies the message into the buffer (cut to nMaxError - 1 bytes); FALSE when none.
    virtual BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr);
    // Ends a caught exception: deletes it when it lives on the heap (all thrown ones do).
    virtual void Delete();
    // Shows the exception's message in a message box (the string nMessageID when it has none);
    // answers the box's choice.
    virtual int ReportError(UINT nType = MB_OK, UINT nMessageID = 0);
};

// Out of memory, and the exception that ends a user's operation after the user was told.
class KST_API CMemoryException : public CException {
    DECLARE_DYNAMIC(CMemoryException)
public:
    BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr) override;
};

class KST_API CUserException : public CException {
    DECLARE_DYNAMIC(CUserException)
};

[[noreturn]] KST_API void AfxThrowMemoryException();
[[noreturn]] KST_API void AfxThrowUserException();

class KST_API CArchiveException : public CException {
    DECLARE_DYNAMIC(CArchiveException)
public:
    enum { none, genericException, readOnly, endOfFile, writeOnly, badIndex, badClass, badSchema };
    // The framework's old spelling of genericException.
    static constexpr int generic = genericException;

    explicit CArchiveException(int cause = none, LPCTSTR lpszArchiveName = nullptr);
    BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr) override;

    int m_cause;
    std::string m_strFileName;
};

[[noreturn]] KST_API void AfxThrowArchiveException(int cause, LPCTSTR lpszArchiveName = nullptr);

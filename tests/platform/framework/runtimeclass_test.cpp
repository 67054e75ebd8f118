// Runtime classes: derivation, creation by name, and the per-module class lists of
// extension modules (the library's classes win a name over a host's).
#include <gtest/gtest.h>

#include <vector>

#include "KstCollections.h"
#include "KstModule.h"
#include "KstObject.h"

namespace {

class CHostBase : public CObject {
    DECLARE_SERIAL(CHostBase)
};
IMPLEMENT_SERIAL(CHostBase, CObject, 3)

class CHostDerived : public CHostBase {
    DECLARE_DYNCREATE(CHostDerived)
};
IMPLEMENT_DYNCREATE(CHostDerived, CHostBase)

class CHostDynamic : public CObject {
    DECLARE_DYNAMIC(CHostDynamic)
};
IMPLEMENT_DYNAMIC(CHostDynamic, CObject)

// A class of a simulated extension module; registered by the test, not at load.
class CPluginItem : public CObject {
    DECLARE_DYNCREATE(CPluginItem)
};
IMPLEMENT_DYNCREATE(CPluginItem, CObject)

// A host class that claims a name of the library.
const CRuntimeClass g_impostor = {"CStringArray", sizeof(CObject), 0,
                                  [] { return static_cast<CObject*>(new CHostBase); },
                                  RUNTIME_CLASS(CObject)};

TEST(RuntimeClass, DerivationAndKinds) {
    CHostDerived derived;
    EXPECT_STREQ(derived.GetRuntimeClass()->m_lpszClassName, "CHostDerived");
    EXPECT_EQ(derived.GetRuntimeClass()->m_nObjectSize, static_cast<int>(sizeof(CHostDerived)));
    EXPECT_EQ(RUNTIME_CLASS(CHostBase)->m_wSchema, 3u);
    EXPECT_EQ(RUNTIME_CLASS(CHostDynamic)->CreateObject(), nullptr);
    // Kinds, serializability (of dyncreate, serial and dynamic classes) and derivation.
    std::vector<bool> answers = {
        bool(derived.IsKindOf(RUNTIME_CLASS(CHostBase))),
        bool(derived.IsKindOf(RUNTIME_CLASS(CObject))),
        bool(derived.IsKindOf(RUNTIME_CLASS(CHostDynamic))),
        bool(derived.IsSerializable()),
        bool(CHostBase().IsSerializable()),
        bool(CHostDynamic().IsSerializable()),
        bool(RUNTIME_CLASS(CStringArray)->IsDerivedFrom(RUNTIME_CLASS(CObject))),
        bool(RUNTIME_CLASS(CObject)->IsDerivedFrom(RUNTIME_CLASS(CStringArray)))};
    EXPECT_EQ(answers, (std::vector<bool>{true, true, false, false, true, false, true, false}));
}

TEST(RuntimeClass, SerialClassesOfHostAndLibraryAreFoundByName) {
    EXPECT_EQ(CRuntimeClass::FromName("CHostBase"), RUNTIME_CLASS(CHostBase));
    EXPECT_EQ(CRuntimeClass::FromName("CMapStringToOb"), RUNTIME_CLASS(CMapStringToOb));
    // Only IMPLEMENT_SERIAL registers; dynamic and dyncreate classes are not looked up.
    EXPECT_EQ(CRuntimeClass::FromName("CHostDerived"), nullptr);
    EXPECT_EQ(CRuntimeClass::FromName(nullptr), nullptr);
    std::unique_ptr<CObject> created(CRuntimeClass::CreateObject("CStringList"));
    ASSERT_NE(created, nullptr);
    EXPECT_TRUE(created->IsKindOf(RUNTIME_CLASS(CStringList)));
    EXPECT_EQ(CRuntimeClass::CreateObject("NoSuchClass"), nullptr);
}

TEST(RuntimeClass, TheLibraryKeepsItsNamesAgainstAHostClass) {
    AfxClassInit(const_cast<CRuntimeClass*>(&g_impostor));
    EXPECT_EQ(AfxCountClassesNamed("CStringArray"), 2);
    EXPECT_EQ(CRuntimeClass::FromName("CStringArray"), RUNTIME_CLASS(CStringArray));
}

TEST(ExtensionModule, AModuleOwnsTheClassesRegisteredBetweenRawStepAndInit) {
    AFX_MODULE_STATE* state = AfxGetModuleState();
    ASSERT_NE(state, nullptr);
    // The library is linked into the chain, and its load finished its raw step.
    EXPECT_NE(state->m_pLibraryList, nullptr);
    EXPECT_EQ(state->m_pClassInit, nullptr);
    AFX_CLASS_LIST* hostList = state->m_pClassList;
    CDynLinkLibrary* chainBefore = state->m_pLibraryList;

    AfxRawExtensionModuleAttach();
    EXPECT_EQ(state->m_pClassInit, hostList);
    EXPECT_NE(state->m_pClassList, hostList);
    AfxClassInit(RUNTIME_CLASS(CPluginItem));

    AFX_EXTENSION_MODULE module = {};
    ASSERT_TRUE(AfxInitExtensionModule(module, reinterpret_cast<HMODULE>(0x1234)));
    EXPECT_FALSE(AfxInitExtensionModule(module, reinterpret_cast<HMODULE>(0x1234)));
    EXPECT_EQ(state->m_pClassList, hostList);  // the host's list is back
    EXPECT_EQ(state->m_pClassInit, nullptr);
    auto* library = new CDynLinkLibrary(module);
    EXPECT_EQ(state->m_pLibraryList, library);
    EXPECT_EQ(library->m_pNextDLL, chainBefore);

    std::unique_ptr<CObject> plugin(CRuntimeClass::CreateObject("CPluginItem"));
    ASSERT_NE(plugin, nullptr);
    EXPECT_TRUE(plugin->IsKindOf(RUNTIME_CLASS(CPluginItem)));

    AfxTermExtensionModule(module);  // deletes the module's CDynLinkLibrary
    EXPECT_EQ(state->m_pLibraryList, chainBefore);
    EXPECT_EQ(CRuntimeClass::FromName("CPluginItem"), nullptr);
    EXPECT_EQ(CRuntimeClass::FromName("CHostBase"), RUNTIME_CLASS(CHostBase));
    EXPECT_EQ(CRuntimeClass::FromName("CStringArray"), RUNTIME_CLASS(CStringArray));
    AfxTermExtensionModule(module);  // a second end does nothing
}

TEST(RuntimeClass, AClassIsForgottenWhenItsRegistrationGoesAway) {
    {
        AFX_CLASSINIT registration(RUNTIME_CLASS(CPluginItem));  // as a module's static
        EXPECT_EQ(CRuntimeClass::FromName("CPluginItem"), RUNTIME_CLASS(CPluginItem));
    }  // as when that module is unloaded
    EXPECT_EQ(CRuntimeClass::FromName("CPluginItem"), nullptr);
    EXPECT_EQ(AfxCountClassesNamed("CPluginItem"), 0);
}

}  // namespace

// A property set stored in an archive file and read back.
#include <KstSystem.h>

#include <cstdio>
#include <memory>

int main() {
    CPropertySet set;
    set.SetAt("Host", "build01");
    set.SetAt("Error.Code", static_cast<UINT>(5));
    {
        CFile file("params.bin", CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        ar.WriteObject(&set);
    }
    CFile file("params.bin", CFile::modeRead);
    CArchive ar(&file, CArchive::load);
    std::unique_ptr<CObject> read(ar.ReadObject(RUNTIME_CLASS(CPropertySet)));
    auto* copy = static_cast<CPropertySet*>(read.get());
    std::printf("%d properties, equal: %s\n", copy->GetCount(), *copy == set ? "yes" : "no");
    return *copy == set ? 0 : 1;
}

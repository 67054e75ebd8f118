// A host built against the installed library: traces a line and round-trips a property set.
#include <KstSystem.h>

#include <cstdio>

int main(int argc, char** argv) {
    cTraceLogGlobal.SetByCommandLine(argc > 1 ? argv[1] : "", 1);
    CTraceLog_Trace("MESSAGE: main(); started with %d arguments\n", argc);
    CStringArray list;
    list.Add("a");
    list.Add("b");
    CString packed;
    CStringService::PackToString(list, packed, ";", 0);
    std::printf("%s %s\n", packed.c_str(), KstSystemVersion());
    return packed == "a;b" ? 0 : 1;
}

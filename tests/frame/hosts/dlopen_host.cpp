// A host that loads the library at run time, traces its arguments and unloads it again.
// It finds CTraceLog_Trace by its C++ symbol name, as a host's import would.
#include <dlfcn.h>

#include <cstdio>

typedef void (*TraceFn)(const char*, ...);

int main(int argc, char** argv) {
    void* library = dlopen(KST_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    auto trace = reinterpret_cast<TraceFn>(dlsym(library, "_Z15CTraceLog_TracePKcz"));
    if (!trace) return 3;
    for (int i = 1; i < argc; ++i) trace("%s\n", argv[i]);
    return dlclose(library) == 0 ? 0 : 4;
}

// Trace: lines go to the debug listener (kst trace-listen); "-trace" also writes them to a
// file beside the program.
#include <KstSystem.h>

int main(int argc, char** argv) {
    cTraceLogGlobal.SetByCommandLine(argc > 1 ? argv[1] : "", 1);
    CTraceLog_Trace("MESSAGE: main(); started with %d arguments\n", argc);
    return 0;
}

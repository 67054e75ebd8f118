// The trace log: every part of the library and its hosts write diagnostic lines here.
// A line goes to the debug pipe (one connection per line, to a listener such as
// `kst trace-listen`) and, when switched on, to "(<executable name>).Trace" beside the
// executable, each entry stamped with the local time.
//
// Threads: every member may be called from any thread, also while other threads trace.
// A log object holds one lock for a whole line on both channels, so lines never mix; Trace,
// WriteString, ClearFile and OpenFile take it (it is recursive). The Enable switches take no
// lock: a switch holds from the next line on. The pipe name is one for the module, set by
// SetPipeName under a lock of its own; a line goes whole to the name in force when it starts.
// A listener that is busy holds up the line, and the lines of other threads behind it, for
// up to 20 seconds.
//
// Ownership: a log object owns its trace file (opened at its first entry, closed by the
// destructor) and one pipe connection for each line. Texts are the caller's.
//
// What can throw: no failure of a channel leaves a member (a line that cannot be written is
// dropped); only memory exhaustion (std::bad_alloc) can pass.
#pragma once

#include "KstExport.h"
#include "KstFile.h"
#include "KstString.h"
#include "KstSync.h"

class KST_API CTraceLog {
public:
    CTraceLog();
    virtual ~CTraceLog();

    // Writes one line to the channels that are on; the caller supplies the line end.
    void Trace(const CString& text);
    // Appends one time-stamped entry to the trace file, whether the file channel is on or not.
    void WriteString(const CString& text);
    // Empties the trace file (opening and closing it again when it was closed).
    void ClearFile();

    // Any non-zero value means on. Out of line, so that hosts resolve them in the library as
    // every other member.
    void EnableFile(int on);
    void EnableOutput(int on);
    void EnableThreadId(int on);

    // "-trace" anywhere in the command line, in any case, switches the file channel of the
    // global log on (and empties its file when clear is non-zero); otherwise off.
    void SetByCommandLine(const char* commandLine, int clear);
    // Sets the module-wide pipe "\\machine\pipe\pipeName"; 0 when it would not fit.
    int SetPipeName(const char* machine, const char* pipeName);

    // Lines carry no indentation: these do nothing.
    void AddTab();
    void RemoveTab();

protected:
    void OpenFile();

private:
    friend void CTraceLog_Trace(const char* format, ...);
    // Trace and WriteString on a zero-terminated text, so that a formatted line needs no copy.
    void TraceText(const char* text);
    void WriteText(const char* text);

    CCriticalSection m_cs;
    CStdioFile m_file;
    int m_bFile;
    int m_bOutput;
    int m_bThreadId;
    int m_nReserved;  // kept for the layout; no operation uses it
};

KST_API extern CTraceLog cTraceLogGlobal;

// Formats printf-style into a 512-byte buffer (longer texts are cut) and traces the result
// on the global log.
KST_API void CTraceLog_Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The system's debug output: sends the text to the debug listener as one line of the pipe
// channel, whether the global log's channels are on or not, and never to the trace file.
KST_API void OutputDebugStringA(LPCSTR outputString);

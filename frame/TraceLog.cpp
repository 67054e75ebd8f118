#include <locale.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "KstTime.h"
#include "KstTraceLog.h"
#include "KstWin32.h"
#include "internal/DebugPipe.h"
#include "internal/LocalTime.h"

namespace kst::detail {

DebugPipeSettings::DebugPipeSettings() : path{}, timeout(0), computerName{}, computerNameLength(0) {
    if (SetPath(".", "AtlsDbgPipe")) timeout = 20000;
    computerNameLength = sizeof computerName;
    GetComputerNameA(computerName, &computerNameLength);
}

bool DebugPipeSettings::SetPath(const char* machine, const char* pipeName) {
    machine = machine ? machine : "";
    pipeName = pipeName ? pipeName : "";
    if (strlen(machine) + strlen(pipeName) + 8 >= sizeof path) return false;
    std::lock_guard lock(pathLock);
    snprintf(path, sizeof path, "\\\\%s\\pipe\\%s", machine, pipeName);
    return true;
}

void DebugPipeSettings::CopyPath(char (&out)[260]) const {
    std::lock_guard lock(pathLock);
    memcpy(out, path, sizeof out);
}

}  // namespace kst::detail

namespace {

using kst::detail::g_debugPipe;

constexpr DWORD kTokenImpersonateAndDuplicate = 6;  // TOKEN_DUPLICATE | TOKEN_IMPERSONATE
constexpr DWORD kPipeOpenFlags = 0x190000;          // identification level, effective only

// Steps out of any impersonation for the pipe, keeping the thread's token to put back.
// False: the pipe is skipped for this line.
bool StepOutOfImpersonation(HANDLE& token) {
    token = nullptr;
    if (OpenThreadToken(GetCurrentThread(), kTokenImpersonateAndDuplicate, FALSE, &token)) {
        if (RevertToSelf()) return true;
        CloseHandle(token);
        token = nullptr;
        return false;
    }
    if (GetLastError() != ERROR_NO_TOKEN) return false;
    if (!ImpersonateSelf(SecurityImpersonation)) return false;
    if (!OpenThreadToken(GetCurrentThread(), kTokenImpersonateAndDuplicate, FALSE, &token)) {
        token = nullptr;
        return false;
    }
    if (!RevertToSelf()) {
        CloseHandle(token);
        token = nullptr;
        return false;
    }
    return true;
}

void PutTokenBack(HANDLE token) {
    if (!token) return;
    SetThreadToken(nullptr, token);
    CloseHandle(token);
}

HANDLE OpenDebugPipe() {
    char path[sizeof g_debugPipe.path];
    g_debugPipe.CopyPath(path);
    for (;;) {
        HANDLE pipe =
            CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, kPipeOpenFlags, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) return pipe;
        if (GetLastError() != ERROR_PIPE_BUSY) return INVALID_HANDLE_VALUE;
        if (!WaitNamedPipeA(path, g_debugPipe.timeout)) return INVALID_HANDLE_VALUE;
    }
}

void StoreLittleEndian(unsigned char* at, DWORD value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

// One message: a 20-byte header, the computer name and the text, each with its zero byte;
// then the listener's 4-byte answer. The pipe here is a byte stream, so the three parts go out
// in one write: the listener reads the same bytes and is woken once per line, not three times.
void WriteMessage(HANDLE pipe, const char* line) {
    DWORD nameLength = g_debugPipe.computerNameLength + 1;
    DWORD textLength = static_cast<DWORD>(strlen(line)) + 1;
    unsigned char header[20];
    StoreLittleEndian(header, 0);
    StoreLittleEndian(header + 4, GetCurrentProcessId());
    StoreLittleEndian(header + 8, nameLength);
    StoreLittleEndian(header + 12, textLength);
    StoreLittleEndian(header + 16, static_cast<DWORD>(IsDebuggerPresent()));
    std::string message;
    message.reserve(sizeof header + nameLength + textLength);
    message.append(reinterpret_cast<const char*>(header), sizeof header);
    message.append(g_debugPipe.computerName, nameLength);
    message.append(line, textLength);
    DWORD done = 0;
    WriteFile(pipe, message.data(), static_cast<DWORD>(message.size()), &done, nullptr);
    unsigned char reply[4];
    ReadFile(pipe, reply, sizeof reply, &done, nullptr);
}

// The "%c; " stamp changes once a second; each thread keeps the last one it made, together
// with the zone and the time locale it was made in, so that a host switching either gets the
// new form at once. Plain, small arrays: the module's last line is traced after the thread's
// own objects are gone, and the library's thread-local block is static.
const char* TimeStamp() {
    struct Stamp {
        time_t at = -1;
        unsigned zone = 0;
        char locale[64];
        char text[128];
    };
    thread_local Stamp last;  // one thread-local access per line
    CTime now = CTime::GetCurrentTime();
    unsigned zone = kst::detail::FollowTimeZone();
    // A thread of its own locale (uselocale) is not followed by name: no cache then.
    bool globalLocale = uselocale(static_cast<locale_t>(0)) == LC_GLOBAL_LOCALE;
    const char* locale = setlocale(LC_TIME, nullptr);
    if (!locale) locale = "";
    bool cached = globalLocale && now.GetTime() == last.at && zone == last.zone &&
                  strcmp(locale, last.locale) == 0;
    if (!cached) {
        CString text = now.Format("%c; ");
        snprintf(last.text, sizeof last.text, "%s", text.c_str());
        last.at = globalLocale && strlen(locale) < sizeof last.locale ? now.GetTime() : -1;
        last.zone = zone;
        snprintf(last.locale, sizeof last.locale, "%s", locale);
    }
    return last.text;
}

bool IsOpen(const CStdioFile& file) {
    return file.m_hFile != CFile::hFileNull;
}

void SendToPipe(const char* line) {
    HANDLE token;
    if (!StepOutOfImpersonation(token)) return;
    HANDLE pipe = OpenDebugPipe();
    if (pipe == INVALID_HANDLE_VALUE) {
        PutTokenBack(token);
        return;
    }
    WriteMessage(pipe, line);
    PutTokenBack(token);
    CloseHandle(pipe);
}

}  // namespace

CTraceLog::CTraceLog() : m_bFile(0), m_bOutput(1), m_bThreadId(0), m_nReserved(0) {}

CTraceLog::~CTraceLog() {
    if (!IsOpen(m_file)) return;
    try {
        m_file.Close();
    } catch (CException* e) {
        e->Delete();
    }
}

void CTraceLog::Trace(const CString& text) {
    TraceText(text.c_str());
}

// The switches are plain ints (the object's layout is the framework's); they are read and
// written as atomics, so that a switch may change while another thread traces. A line reads
// each switch once.
namespace {

int Get(const int& flag) {
    return std::atomic_ref<int>(const_cast<int&>(flag)).load(std::memory_order_relaxed);
}

void Put(int& flag, int on) {
    std::atomic_ref<int>(flag).store(on, std::memory_order_relaxed);
}

}  // namespace

void CTraceLog::TraceText(const char* text) {
    CSingleLock lock(&m_cs, TRUE);
    int bThreadId = Get(m_bThreadId);
    CString withThreadId;
    if (bThreadId)
        withThreadId.Format("{%u}; %s", static_cast<unsigned>(GetCurrentThreadId()), text);
    const char* line = bThreadId ? withThreadId.c_str() : text;
    if (Get(m_bOutput)) SendToPipe(line);
    if (Get(m_bFile)) WriteText(line);
}

void CTraceLog::WriteString(const CString& text) {
    CSingleLock lock(&m_cs, TRUE);
    WriteText(text.c_str());
}

// Called with m_cs held.
void CTraceLog::WriteText(const char* text) {
    if (!IsOpen(m_file)) OpenFile();
    if (!IsOpen(m_file)) return;
    try {
        // Both parts meet in the file's buffer and leave in one write.
        m_file.WriteString(TimeStamp());
        m_file.WriteString(text);
        m_file.Flush();
    } catch (CException* e) {  // a full disk drops the entry, as any channel failure does
        e->Delete();
    }
}

void CTraceLog::OpenFile() {
    CSingleLock lock(&m_cs, TRUE);
    char module[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, module, 259);
    char drive[_MAX_DRIVE], dir[_MAX_DIR], name[_MAX_FNAME], ext[_MAX_EXT];
    _splitpath(module, drive, dir, name, ext);
    CString path = CString(drive) + dir + "(" + name + ext + ").Trace";
    constexpr UINT kAppendShared = CFile::modeWrite | CFile::shareDenyNone | CFile::modeCreate |
                                   CFile::modeNoTruncate;  // 0x3041, text mode
    if (!m_file.Open(path, kAppendShared, nullptr)) return;
    try {
        m_file.Seek(0, CFile::end);
    } catch (CException* e) {
        e->Delete();
    }
}

void CTraceLog::ClearFile() {
    CSingleLock lock(&m_cs, TRUE);
    bool wasOpen = IsOpen(m_file);
    if (!wasOpen) OpenFile();
    if (!IsOpen(m_file)) return;
    try {
        m_file.Seek(0, CFile::begin);
        m_file.SetLength(0);
    } catch (CException* e) {
        e->Delete();
    }
    if (!wasOpen) m_file.Abort();  // closed as it was found, also when emptying failed
}

void CTraceLog::EnableFile(int on) {
    Put(m_bFile, on);
}

void CTraceLog::EnableOutput(int on) {
    Put(m_bOutput, on);
}

void CTraceLog::EnableThreadId(int on) {
    Put(m_bThreadId, on);
}

void CTraceLog::SetByCommandLine(const char* commandLine, int clear) {
    CString lower(commandLine);
    lower.MakeLower();
    if (lower.Find("-trace") < 0) {
        cTraceLogGlobal.EnableFile(0);
        return;
    }
    cTraceLogGlobal.EnableFile(1);
    if (clear) cTraceLogGlobal.ClearFile();
}

int CTraceLog::SetPipeName(const char* machine, const char* pipeName) {
    return kst::detail::g_debugPipe.SetPath(machine, pipeName) ? 1 : 0;
}

void CTraceLog::AddTab() {}

void CTraceLog::RemoveTab() {}

void CTraceLog_Trace(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    // vsnprintf cuts a longer text and always leaves the zero inside the buffer.
    if (vsnprintf(buffer, sizeof buffer, format, args) < 0) buffer[0] = '\0';
    va_end(args);
    cTraceLogGlobal.TraceText(buffer);
}

// The system's debug output has no listener of its own here: it is the trace log's pipe.
void OutputDebugStringA(LPCSTR outputString) {
    if (outputString) SendToPipe(outputString);
}

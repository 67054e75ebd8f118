// A host in the framework's idiom, built through the compatibility target in its debug build:
// each idiom compiles unchanged and behaves as the original does.
#include <afxwin.h>
#include <afxext.h>
#include <afxtempl.h>
#include <afxmt.h>
#include <afxcoll.h>
#include <tchar.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>

#include "DebugListener.h"
#include "KstLocalization.h"
#include "KstTest.h"

#ifdef _DEBUG
#define new DEBUG_NEW
#undef THIS_FILE
static char THIS_FILE[] = __FILE__;
#endif

using ::testing::HasSubstr;

namespace {

class CShape : public CObject {
    DECLARE_SERIAL(CShape)
public:
    CShape() = default;
    explicit CShape(int sides) : m_nSides(sides) {}
    void AssertValid() const override {
        CObject::AssertValid();
        ++s_validated;
    }
    void Serialize(CArchive& ar) override {
        if (ar.IsStoring())
            ar << static_cast<DWORD>(m_nSides);
        else {
            DWORD sides;
            ar >> sides;
            m_nSides = static_cast<int>(sides);
        }
    }
    int m_nSides = 0;
    static inline int s_validated = 0;
};
IMPLEMENT_SERIAL(CShape, CObject, 1)

class CWorker : public CWinThread {
    DECLARE_DYNCREATE(CWorker)
public:
    BOOL InitInstance() override {
        s_ran = true;
        return TRUE;
    }
    int Run() override { return 42; }
    static inline std::atomic<bool> s_ran{false};
};
IMPLEMENT_DYNCREATE(CWorker, CWinThread)

CWinApp theApp("Legacy");

// Answers every message box with one choice and keeps what was shown.
struct BoxRecorder {
    explicit BoxRecorder(int answer) {
        m_previous = kst::SetMessageBoxHandler(
            [this, answer](const std::string& text, const std::string& caption, unsigned) {
                texts.push_back(caption + "|" + text);
                return answer;
            });
    }
    ~BoxRecorder() { kst::SetMessageBoxHandler(m_previous); }
    std::vector<std::string> texts;
    kst::MessageBoxHandler m_previous;
};

TEST(CompatTest, TextMacrosAndRuntimeHelpers) {
    TCHAR buffer[64];
    _stprintf(buffer, _T("%s-%d"), TEXT("id"), 7);
    EXPECT_EQ(_tcsicmp(buffer, _T("ID-7")), 0);
    char a[8], b[8], c[40];
    EXPECT_EQ(std::string(_itoa(-255, a, 10)) + " " + _itoa(255, b, 16) + " " +
                  _ultoa(4294967295ul, c, 2),
              "-255 ff 11111111111111111111111111111111");
    // _snprintf: no zero when the text just fits, -1 when it is cut.
    char small[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(_snprintf(small, 3, "%s", "abc"), 3);
    EXPECT_EQ(small[3], 'x');
    EXPECT_EQ(_snprintf(small, 3, "%s", "abcd"), -1);
    EXPECT_EQ(wsprintf(buffer, "%05u|%s", 42u, "x"), 7);
    EXPECT_STREQ(buffer, "00042|x");
    lstrcpyn(buffer, "abcdef", 4);
    lstrcat(buffer, "Z");
    EXPECT_TRUE(lstrcmpi(buffer, "ABCz") == 0 && lstrcmp(buffer, "ABCz") != 0);
    volatile LONG counter = 0;
    EXPECT_EQ((std::vector<LONG>{
                  InterlockedIncrement(&counter), InterlockedExchangeAdd(&counter, 5),
                  InterlockedCompareExchange(&counter, 9, 6), InterlockedDecrement(&counter)}),
              (std::vector<LONG>{1, 1, 6, 8}));
}

TEST(CompatTest, TraceReachesTheDebugListener) {
    std::string pipe = "kst-compat-" + std::to_string(getpid());
    ASSERT_TRUE(cTraceLogGlobal.SetPipeName(".", pipe.c_str()));
    {
        ksttest::DebugListener listener(pipe);
        ASSERT_TRUE(listener.Ready());
        TRACE("TRACE %d\n", 1);
        TRACE0("TRACE0\n");
        TRACE1("TRACE1 %s\n", "a");
        TRACE2("TRACE2 %s %d\n", "a", 2);
        TRACE3("TRACE3 %d%d%d\n", 1, 2, 3);
        OutputDebugString("direct\n");
        std::vector<std::string> texts;
        for (const auto& m : listener.WaitFor(6, std::chrono::seconds(10)))
            texts.push_back(ksttest::DebugListener::Text(m));
        EXPECT_THAT(texts, ::testing::ElementsAre("TRACE 1\n", "TRACE0\n", "TRACE1 a\n",
                                                  "TRACE2 a 2\n", "TRACE3 123\n", "direct\n"));
    }
    cTraceLogGlobal.SetPipeName(".", "AtlsDbgPipe");
}

TEST(CompatTest, AssertionsReportFileAndLineAndGoOnWhenIgnored) {
    EXPECT_DEATH(ASSERT(false), "");  // unanswered, an assertion ends the program
    BoxRecorder boxes(IDIGNORE);
    int line = __LINE__ + 1;
    ASSERT(1 + 1 == 3);
    ASSERT(true);
    EXPECT_THAT(boxes.texts,
                ::testing::ElementsAre(::testing::AllOf(
                    HasSubstr("File: " __FILE__), HasSubstr("Line: " + std::to_string(line)))));
    int evaluated = 0;
    VERIFY(++evaluated == 1);
    EXPECT_EQ(evaluated, 1);
    CShape* shape = new CShape(3);  // through DEBUG_NEW
    ASSERT_VALID(shape);
    ASSERT_KINDOF(CObject, shape);
    EXPECT_EQ(std::pair(CShape::s_validated, boxes.texts.size()), std::pair(1, size_t(1)));
    CShape* none = nullptr;
    ASSERT_VALID(none);
    EXPECT_EQ(boxes.texts.size(), 2u);
    delete shape;
}

// clang-format off
TEST(CompatTest, ExceptionMacrosDeleteWhatTheyCatchUnlessPassedOn) {
    CString caught;
    TRY { CFile file((ksttest::ScratchDir() + "/missing/file.txt").c_str(), CFile::modeRead); }
    CATCH(CArchiveException, e) { caught = "archive"; }
    AND_CATCH(CFileException, e) { caught.Format("file %d", e->m_cause); }
    END_CATCH
    EXPECT_EQ(caught, "file 3");  // CFileException::badPath
    int outer = 0;
    TRY {
        TRY { AfxThrowUserException(); }
        CATCH_ALL(e) { THROW_LAST(); }
        END_CATCH_ALL
    }
    CATCH(CUserException, e) { outer = 1; }
    END_CATCH
    EXPECT_EQ(outer, 1);
    BoxRecorder boxes(IDOK);
    TRY { AfxThrowMemoryException(); }
    CATCH(CMemoryException, e) { EXPECT_EQ(e->ReportError(), IDOK); }
    END_CATCH
    EXPECT_THAT(boxes.texts, ::testing::ElementsAre(HasSubstr("Out of memory.")));
}
// clang-format on

// The names without suffix reach the platform's calls; their behaviour is tested there.
TEST(CompatTest, SystemNamesWithoutSuffix) {
    std::string dir = ksttest::ScratchDir();
    std::string file = dir + "/a.txt";
    ASSERT_TRUE(CreateDirectory((dir + "/sub").c_str(), nullptr));
    HANDLE h = CreateFile(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_TRUE(CopyFile(file.c_str(), (dir + "/b.txt").c_str(), TRUE));
    EXPECT_NE(GetFileAttributes((dir + "/sub").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    char cwd[MAX_PATH], now[MAX_PATH];
    ASSERT_TRUE(GetCurrentDirectory(sizeof cwd, cwd) > 0 && SetCurrentDirectory(dir.c_str()));
    GetCurrentDirectory(sizeof now, now);
    EXPECT_EQ(std::filesystem::canonical(now), std::filesystem::canonical(dir));
    EXPECT_EQ(GetCurrentDirectory(1, now), strlen(now) + 1);  // the size needed
    SetCurrentDirectory(cwd);
    EXPECT_FALSE(SetCurrentDirectory((dir + "/nothing").c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));

    BoxRecorder boxes(IDYES);
    EXPECT_EQ(MessageBox(nullptr, "text", "caption", MB_YESNO), IDYES);
    CErrorInfo err;
    err.SetError(ERROR_ACCESS_DENIED);
    err.MessageBox(MB_OK);  // the library's own member, reached through the mapping
    EXPECT_THAT(boxes.texts, ::testing::ElementsAre("caption|text", ::testing::_));
}

TEST(CompatTest, ConsoleSkeletonAndModuleHandles) {
    ASSERT_TRUE(AfxWinInit(::GetModuleHandle(NULL), NULL, ::GetCommandLine(), 0));
    EXPECT_EQ(AfxGetApp(), &theApp);
    EXPECT_EQ(CString(theApp.m_pszAppName) + "|" + theApp.m_pszExeName, "Legacy|kst_compat_idioms");
    char path[MAX_PATH];
    ASSERT_GT(GetModuleFileName(AfxGetInstanceHandle(), path, sizeof path), 0u);
    EXPECT_EQ(std::string(path), ksttest::SelfExe());
    EXPECT_THAT(std::string(GetCommandLine()), HasSubstr("kst_compat_idioms"));
    GetModuleFileName(GetModuleHandle("KstSystem.dll"), path, sizeof path);
    EXPECT_THAT(std::string(path), HasSubstr("libKstSystem.so"));
    EXPECT_EQ(GetModuleHandle("nothing-here.dll"), nullptr);
    DWORD start = GetTickCount();
    Sleep(20);
    EXPECT_GE(GetTickCount() - start, 15u);
}

TEST(CompatTest, RuntimeTypesAndTypedCollections) {
    CShape shape(4);
    CObject* object = &shape;
    EXPECT_TRUE(DYNAMIC_DOWNCAST(CShape, object) == &shape &&
                DYNAMIC_DOWNCAST(CFileFind, object) == nullptr);
    EXPECT_EQ(STATIC_DOWNCAST(CShape, object)->m_nSides, 4);
    CTypedPtrArray<CObArray, CShape*> shapes;
    shapes.Add(&shape);
    shapes.InsertAt(0, &shape);
    shapes.ElementAt(0) = nullptr;
    EXPECT_TRUE(shapes.GetAt(0) == nullptr && shapes[1]->m_nSides == 4);
    int a = 1, b = 2;
    CTypedPtrList<CPtrList, int*> list;
    list.AddTail(&a);
    list.AddHead(&b);
    POSITION pos = list.GetHeadPosition();
    EXPECT_EQ((std::vector{*list.GetNext(pos), *list.GetNext(pos)}), (std::vector{2, 1}));
    EXPECT_EQ(list.RemoveTail(), &a);
    CTypedPtrMap<CMapStringToOb, CString, CShape*> named;
    named["four"] = &shape;
    CShape* found = nullptr;
    CString key;
    pos = named.GetStartPosition();
    named.GetNextAssoc(pos, key, found);
    EXPECT_EQ(key, "four");
    CMapWordToOb byWord;
    byWord[7] = &shape;
    CObject* value = nullptr;
    CMapPtrToPtr byPtr;
    byPtr[&a] = &b;
    void* target = nullptr;
    EXPECT_TRUE(named.Lookup("four", found) && found == &shape && byWord.Lookup(7, value) &&
                byPtr.Lookup(&a, target) && target == &b);
}

TEST(CompatTest, FileFindWalksAPattern) {
    std::string dir = ksttest::ScratchDir();
    for (const char* name : {"one.txt", "two.txt", "three.doc"})
        ksttest::WriteFile(dir + "/" + name, name);
    std::filesystem::create_directory(dir + "/folder.txt");
    CFileFind finder;
    std::set<std::string> files, folders;
    BOOL working = finder.FindFile((dir + "\\*.txt").c_str());
    ASSERT_TRUE(working);
    while (working) {
        working = finder.FindNextFile();
        std::string name = finder.GetFileName().c_str();
        (finder.IsDirectory() ? folders : files).insert(name);
        EXPECT_EQ(finder.GetFilePath(), CString((dir + "\\" + name).c_str()));
        if (name == "two.txt") {
            EXPECT_EQ(std::pair(finder.GetLength(), finder.GetFileTitle()),
                      std::pair(ULONGLONG(7), CString("two")));
            CTime written;
            EXPECT_TRUE(finder.GetLastWriteTime(written));
            EXPECT_LE(std::llabs(written.GetTime() - CTime::GetCurrentTime().GetTime()), 60);
        }
    }
    EXPECT_EQ(files, (std::set<std::string>{"one.txt", "two.txt"}));
    EXPECT_EQ(folders, (std::set<std::string>{"folder.txt"}));
    EXPECT_TRUE(finder.FindFile((dir + "/*.*").c_str()));
    int dots = 0;
    for (BOOL more = TRUE; more;) {
        more = finder.FindNextFile();
        dots += finder.IsDots();
    }
    EXPECT_EQ(dots, 2);
    EXPECT_FALSE(finder.FindFile((dir + "/*.none").c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

struct Guarded {
    CMutex mutex;
    std::atomic<int> inside{0}, most{0};
};

TEST(CompatTest, MutexesSemaphoresAndThreadClasses) {
    Guarded shared;
    auto body = [](LPVOID p) -> UINT {
        auto* g = static_cast<Guarded*>(p);
        for (int i = 0; i < 200; ++i) {
            CSingleLock lock(&g->mutex, TRUE);
            int now = ++g->inside;
            if (now > g->most) g->most = now;
            --g->inside;
        }
        return 0;
    };
    std::vector<std::unique_ptr<CWinThread>> threads;
    std::vector<HANDLE> handles;
    for (int i = 0; i < 3; ++i) {
        CWinThread* t = AfxBeginThread(body, &shared, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
        t->m_bAutoDelete = FALSE;
        t->ResumeThread();
        threads.emplace_back(t);
        handles.push_back(t->m_hThread);
    }
    EXPECT_EQ(WaitForMultipleObjects(3, handles.data(), TRUE, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(shared.most.load(), 1);
    // Recursive for its owner; one release too many is refused.
    ASSERT_TRUE(shared.mutex.Lock() && shared.mutex.Lock(0));
    EXPECT_TRUE(shared.mutex.Unlock() && shared.mutex.Unlock());
    EXPECT_FALSE(shared.mutex.Unlock());
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_OWNER));

    CSemaphore semaphore(2, 2);
    EXPECT_TRUE(semaphore.Lock(0) && semaphore.Lock(0));
    EXPECT_FALSE(semaphore.Lock(10));
    LONG previous = -1;
    EXPECT_TRUE(semaphore.Unlock(2, &previous) && previous == 0);
    EXPECT_FALSE(semaphore.Unlock(1));  // past the maximum
    CEvent event;
    CSyncObject* objects[] = {&event, &semaphore};
    CMultiLock both(objects, 2);
    EXPECT_EQ(both.Lock(0, FALSE), WAIT_OBJECT_0 + 1);

    CWinThread* worker =
        AfxBeginThread(RUNTIME_CLASS(CWorker), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(worker, nullptr);
    worker->m_bAutoDelete = FALSE;
    worker->ResumeThread();
    ASSERT_EQ(WaitForSingleObject(worker->m_hThread, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(worker->m_hThread, &code) && code == 42u && CWorker::s_ran);
    delete worker;
    EXPECT_EQ(AfxBeginThread(RUNTIME_CLASS(CShape)), nullptr);  // not a thread class
}

TEST(CompatTest, HostStringTableServesLoadStringAndMessageBoxes) {
    std::string table = ksttest::ScratchDir() + "/strings.txt";
    ksttest::WriteFile(table,
                       "; the host's strings\r\n"
                       "101 Hello, %1 and %2!\r\n"
                       "0x66 \"Line one\\nLine two\"\r\n\r\n"
                       "// ids of the library itself stay reachable\r\n");
    ASSERT_TRUE(kst::LoadStringTable(table));
    CString text, one;
    AfxFormatString2(text, 101, "you", "me");
    AfxFormatString1(one, 101, "you");
    EXPECT_EQ(text + "|" + one, "Hello, you and me!|Hello, you and %2!");
    char buffer[64];
    EXPECT_EQ(::LoadString(AfxGetInstanceHandle(), 102, buffer, sizeof buffer), 17);
    EXPECT_STREQ(buffer, "Line one\nLine two");
    EXPECT_TRUE(text.LoadString(3));  // the library's own table still answers
    {
        BoxRecorder boxes(IDOK);
        AfxMessageBox(102);
        EXPECT_THAT(boxes.texts, ::testing::ElementsAre(HasSubstr("|Line one\nLine two")));
    }
    unsigned bad = 0;
    ksttest::WriteFile(table, "7 fine\nnot-a-number text\n");
    EXPECT_TRUE(!kst::LoadStringTable(table, &bad) && bad == 2u);
    EXPECT_FALSE(text.LoadString(7));  // nothing of a bad file is registered
    EXPECT_TRUE(!kst::LoadStringTable(table + ".missing", &bad) && bad == 0u);
    CString pieces[3];
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(AfxExtractSubString(pieces[i], "a|b||d", i + 1, '|'));
    EXPECT_EQ(pieces[0] + "," + pieces[1] + "," + pieces[2], "b,,d");
    EXPECT_FALSE(AfxExtractSubString(pieces[0], "a|b||d", 4, '|'));
}

// What the ini reader sees, as sorted "section.key=value" lines: a host reads it through the
// message-text collection, which loads a file with the same reader.
std::vector<std::string> ReaderView(const std::string& path) {
    CLocalizationCollection texts;
    texts.Load(path.c_str());
    std::vector<std::string> lines;
    for (POSITION pos = texts.GetStartPosition(); pos;) {
        CString key, value;
        texts.GetNextAssoc(pos, key, value);
        if (!key.IsEmpty() && key.Right(1) != ".")
            lines.push_back(std::string(key) + "=" + value.c_str());
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST(CompatTest, PrivateProfileAgreesWithTheIniReader) {
    std::string path = ksttest::ScratchDir() + "/app.ini";
    ksttest::WriteFile(path,
                       "[Main]\r\nName = Alpha \r\nCount=12abc\r\n\r\n[Other]\r\n"
                       "Quoted=\"with blanks \"\r\n; note\r\nName=Beta\r\n");
    auto get = [&](const char* section, const char* key, const char* dflt = "", DWORD size = 64) {
        char out[64];
        return std::string(out,
                           GetPrivateProfileString(section, key, dflt, out, size, path.c_str()));
    };
    auto trim = [](std::string t) {
        t.erase(0, t.find_first_not_of(' '));
        t.erase(t.find_last_not_of(' ') + 1);
        return t;
    };
    for (const auto& line : ReaderView(path)) {
        auto dot = line.find('.'), eq = line.find('=');
        std::string expected = trim(line.substr(eq + 1));
        if (expected.size() >= 2 && expected.front() == '"' && expected.back() == '"')
            expected = expected.substr(1, expected.size() - 2);
        EXPECT_EQ(get(trim(line.substr(0, dot)).c_str(),
                      trim(line.substr(dot + 1, eq - dot - 1)).c_str()),
                  expected)
            << line;
    }
    EXPECT_EQ(get("MAIN", " name"), "Alpha");
    EXPECT_EQ(get("Main", "Missing", "dflt  "), "dflt");
    EXPECT_EQ(get(nullptr, nullptr), std::string("Main\0Other\0", 11));
    EXPECT_EQ(get("Other", nullptr), std::string("Quoted\0Name\0", 12));
    EXPECT_EQ(get("Main", "Name", "", 3), "Al");
    EXPECT_EQ(GetPrivateProfileInt("Main", "Count", 5, path.c_str()) * 100 +
                  GetPrivateProfileInt("Main", "Missing", 5, path.c_str()),
              1205u);

    // Writes keep every other line, and the reader sees what was written.
    auto put = [](const std::string& file, const char* section, const char* key,
                  const char* value) {
        return WritePrivateProfileString(section, key, value, file.c_str());
    };
    ASSERT_TRUE(put(path, "Main", "Count", "13") && put(path, "Main", "New", "x") &&
                put(path, "Third", "K", "v") && put(path, "Other", nullptr, nullptr) &&
                put(path, "Main", "Name", nullptr));
    EXPECT_EQ(ksttest::ReadFile(path), "[Main]\r\nCount=13\r\nNew=x\r\n\r\n[Third]\r\nK=v\r\n");
    EXPECT_THAT(ReaderView(path),
                ::testing::ElementsAre("Main.Count=13", "Main.New=x", "Third.K=v"));
    std::string fresh = ksttest::ScratchDir() + "/fresh.ini", lf = fresh + ".lf";
    ASSERT_TRUE(put(fresh, "S", "K", "V"));
    EXPECT_EQ(ksttest::ReadFile(fresh), "[S]\r\nK=V\r\n");
    ksttest::WriteFile(lf, "[S]\nA=1\n");
    ASSERT_TRUE(put(lf, "S", "B", "2"));
    EXPECT_EQ(ksttest::ReadFile(lf), "[S]\nA=1\nB=2\n");
    EXPECT_FALSE(put(lf + "/not/there.ini", "S", "K", "V"));
    EXPECT_EQ(GetPrivateProfileInt("S", "A", 9, (lf + ".missing").c_str()), 9u);
}

}  // namespace

// What the file service asks the user: the folder-creation questions, the system-error box
// and the three folder dialogs, answered by scripted handlers.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "KstFileService.h"
#include "KstPlatform.h"
#include "KstTest.h"
#include "KstWin32.h"
#include "KstWnd.h"
#include "files/internal/SharedPathHelpers.h"
#include "internal/CodePage.h"

namespace fs = std::filesystem;
using ksttest::ScratchDir;

namespace {

struct Box {
    std::string text, caption;
    unsigned type;
};

// Records every message box and answers from a script.
class ScriptedBoxes {
public:
    explicit ScriptedBoxes(std::vector<int> answers = {}) : m_answers(std::move(answers)) {
        kst::SetMessageBoxHandler(
            [this](const std::string& text, const std::string& caption, unsigned type) {
                boxes.push_back({text, caption, type});
                if (m_next < m_answers.size()) return m_answers[m_next++];
                return IDCANCEL;
            });
    }
    ~ScriptedBoxes() { kst::SetMessageBoxHandler(nullptr); }

    std::vector<Box> boxes;

private:
    std::vector<int> m_answers;
    size_t m_next = 0;
};

std::string SystemText(DWORD code) {
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
                   0x400, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string result = text ? text : "";
    if (text) LocalFree(text);
    return result;
}

// ---- CreatePathMsgBox ----

// The boxes as "type|text" lines.
std::vector<std::string> Shown(const ScriptedBoxes& script) {
    std::vector<std::string> lines;
    char type[16];
    for (const auto& box : script.boxes) {
        std::snprintf(type, sizeof type, "%x|", box.type);
        lines.push_back(type + box.text);
    }
    return lines;
}

TEST(CreatePathMsgBox, ExistingFolderFileCancelOrOk) {
    std::string dir = ScratchDir(), file = dir + "/taken", path = dir + "/new/deeper";
    ksttest::WriteFile(file, "x");
    const struct {
        std::string path;
        unsigned page;
        int result;
        std::vector<std::string> boxes;
    } cases[] = {
        {dir, CP_UTF8, 1, {}},  // without a word
        {file,
         CP_UTF8,
         0,
         {"10|Каталог " + file + " создать нельзя, так как уже существует файл с таким именем"}},
        {path, CP_UTF8, 0, {"21|Каталог " + path + " не найден. Создать его?."}},
        {path,
         1251,
         0,
         {kst::detail::Convert("21|Каталог " + path + " не найден. Создать его?.", CP_UTF8, 1251)}},
    };
    for (const auto& c : cases) {
        ksttest::CodePageScope pages(c.page, 866);
        ScriptedBoxes script({IDCANCEL});
        EXPECT_EQ(CFileService::CreatePathMsgBox(c.path.c_str()), c.result) << c.path;
        EXPECT_EQ(Shown(script), c.boxes);
    }
    EXPECT_FALSE(fs::exists(dir + "/new"));

    // OK creates the tree, or shows the system's error.
    kst::MapDrive('Q', dir, kst::DriveType::Fixed);
    {
        ScriptedBoxes script({IDOK});
        EXPECT_EQ(CFileService::CreatePathMsgBox("Q:\\new\\deeper"), 1);
        EXPECT_EQ(script.boxes.size(), 1u);
        EXPECT_TRUE(fs::is_directory(dir + "/new/deeper"));
    }
    kst::UnmapDrive('Q');
    ScriptedBoxes script({IDOK, IDOK});
    EXPECT_EQ(CFileService::CreatePathMsgBox((file + "/sub").c_str()), 0);
    ASSERT_EQ(script.boxes.size(), 2u);
    EXPECT_EQ(script.boxes[0].type, 0x21u);
    EXPECT_EQ(script.boxes[1].caption, "Error");
    EXPECT_EQ(Shown(script)[1], "10010|" + SystemText(ERROR_PATH_NOT_FOUND));
}

// ---- ShowSystemError ----

TEST(ShowSystemError, TheLastErrorOrTheGivenCodeOrNothing) {
    ScriptedBoxes script({IDOK, IDOK, IDOK});
    SetLastError(0);
    EXPECT_EQ(ShowSystemError(0), 0u);
    EXPECT_TRUE(script.boxes.empty());
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(ShowSystemError(0), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ShowSystemError(ERROR_FILE_NOT_FOUND), DWORD(ERROR_FILE_NOT_FOUND));
    // A code the system has no text for is still shown, by its number.
    EXPECT_EQ(ShowSystemError(99999), 99999u);
    EXPECT_EQ(Shown(script), (std::vector<std::string>{"10010|" + SystemText(ERROR_ACCESS_DENIED),
                                                       "10010|" + SystemText(ERROR_FILE_NOT_FOUND),
                                                       "10010|Win32:99999"}));
    for (const auto& box : script.boxes) EXPECT_EQ(box.caption, "Error");
}

// ---- Folder dialogs ----

struct DialogCall {
    std::string title, start;
};

// Answers every dialog with the next folder of a script; an empty entry cancels.
class ScriptedDialog {
public:
    explicit ScriptedDialog(std::vector<std::string> answers) : m_answers(std::move(answers)) {
        kst::SetFolderDialogHandler(
            [this](const std::string& title, const std::string& start, std::string& chosen) {
                calls.push_back({title, start});
                if (m_next >= m_answers.size() || m_answers[m_next].empty()) {
                    ++m_next;
                    return false;
                }
                chosen = m_answers[m_next++];
                return true;
            });
    }
    ~ScriptedDialog() { kst::SetFolderDialogHandler(nullptr); }

    std::vector<DialogCall> calls;

private:
    std::vector<std::string> m_answers;
    size_t m_next = 0;
};

class FolderDialog : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir + "/start");
        fs::create_directories(dir + "/pick");
    }
    std::string dir = ScratchDir();
};

TEST_F(FolderDialog, WithItemListOrWithoutCancelledOrWithoutHandler) {
    ScriptedDialog dialog({dir + "/pick", ""});
    CString folder = (dir + "/start/").c_str();
    LPITEMIDLIST item = nullptr;
    EXPECT_EQ(CFileService::GetFolder(folder, "Choose", &item), 1);
    ASSERT_EQ(dialog.calls.size(), 1u);
    EXPECT_EQ(dialog.calls[0].title, "Choose");
    EXPECT_EQ(dialog.calls[0].start, dir + "/start");  // the start loses its separator
    EXPECT_EQ(folder.str(), dir + "/pick/");
    ASSERT_NE(item, nullptr);
    char path[MAX_PATH];
    EXPECT_TRUE(SHGetPathFromIDListA(item, path));
    EXPECT_EQ(std::string(path), dir + "/pick");
    CoTaskMemFree(item);  // the caller's to free
    item = nullptr;
    EXPECT_EQ(CFileService::GetFolder(folder, "Choose", &item), 0);  // cancel keeps the folder
    EXPECT_EQ(folder.str(), dir + "/pick/");
    EXPECT_EQ(item, nullptr);

    kst::MapDrive('Q', dir, kst::DriveType::Fixed);
    ScriptedDialog mapped({"Q:\\pick"});
    folder = "Q:\\start\\";
    EXPECT_EQ(CFileService::GetFolder(folder, "Choose"), 1);  // without the item list
    ASSERT_EQ(mapped.calls.size(), 1u);
    EXPECT_EQ(mapped.calls[0].start, "Q:\\start");
    EXPECT_EQ(folder.str(), "Q:\\pick\\");
    kst::UnmapDrive('Q');

    kst::SetFolderDialogHandler(nullptr);  // no handler answers as cancelled
    EXPECT_EQ(CFileService::GetFolder(folder, "Choose"), 0);
    EXPECT_EQ(CFileService::GetFolder(folder, dir.c_str(), dir.c_str(), "Choose"), 1);
    EXPECT_EQ(CFileService::GetFolder(folder, dir.c_str(), nullptr, "Choose"), 1);
    EXPECT_EQ(folder.str(), "Q:\\pick\\");
}

TEST_F(FolderDialog, WithRootPath) {
    ScriptedDialog dialog({dir + "/pick", "", dir + "/pick"});
    CString folder = "unchanged";
    EXPECT_EQ(CFileService::GetFolder(folder, dir.c_str(), (dir + "/start/").c_str(), "Title"), 0);
    EXPECT_EQ(folder.str(), dir + "/pick/");
    folder = "unchanged";
    EXPECT_EQ(CFileService::GetFolder(folder, dir.c_str(), (dir + "/start").c_str(), "Title"), 1);
    EXPECT_EQ(folder.str(), "unchanged");
    EXPECT_EQ(CFileService::GetFolder(folder, "/", "/", "Title"), 0);
    ASSERT_EQ(dialog.calls.size(), 3u);
    EXPECT_EQ(dialog.calls[0].start, dir + "/start");
    EXPECT_EQ(dialog.calls[0].title, "Title");
    EXPECT_EQ(dialog.calls[2].start, "/");  // a lone separator is kept
}

TEST_F(FolderDialog, RootThatCannotBeParsedReturnsTheShellsCode) {
    IShellFolder* desktop = nullptr;
    ASSERT_EQ(SHGetDesktopFolder(&desktop), S_OK);
    WCHAR empty[1] = {};
    LPITEMIDLIST list = nullptr;
    HRESULT parsed = desktop->ParseDisplayName(nullptr, nullptr, empty, nullptr, &list, nullptr);
    desktop->Release();
    ScriptedDialog dialog({dir + "/pick"});
    CString folder = "unchanged";
    long result = CFileService::GetFolder(folder, (dir + "/missing").c_str(), dir.c_str(), "Title");
    EXPECT_EQ(result, long(HRESULT(0x80070002)));
    EXPECT_TRUE(dialog.calls.empty());
    EXPECT_EQ(folder.str(), "unchanged");
    // An empty root is parsed like any other.
    result = CFileService::GetFolder(folder, "", dir.c_str(), "Title");
    if (FAILED(parsed)) {
        EXPECT_EQ(result, long(parsed));
        EXPECT_EQ(folder.str(), "unchanged");
    } else {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(folder.str(), dir + "/pick/");
        CoTaskMemFree(list);
    }
}

TEST_F(FolderDialog, WithRootItemList) {
    LPMALLOC allocator = nullptr;
    ASSERT_EQ(SHGetMalloc(&allocator), S_OK);
    IShellFolder* desktop = nullptr;
    ASSERT_EQ(SHGetDesktopFolder(&desktop), S_OK);
    std::u16string wide(dir.begin(), dir.end());
    LPITEMIDLIST root = nullptr;
    ASSERT_EQ(desktop->ParseDisplayName(nullptr, nullptr, wide.data(), nullptr, &root, nullptr),
              S_OK);
    desktop->Release();

    ScriptedDialog dialog({dir + "/pick", ""});
    CString folder = "unchanged";
    EXPECT_EQ(CFileService::GetFolder(folder, (dir + "/start/").c_str(), root, "Title"), 0);
    EXPECT_EQ(folder.str(), dir + "/pick/");
    ASSERT_EQ(dialog.calls.size(), 1u);
    EXPECT_EQ(dialog.calls[0].start, dir + "/start");

    folder = "unchanged";
    EXPECT_EQ(CFileService::GetFolder(folder, dir.c_str(), root, "Title"), 1);
    EXPECT_EQ(folder.str(), "unchanged");

    // The root stays the caller's: still readable after both dialogs.
    char path[MAX_PATH];
    EXPECT_TRUE(SHGetPathFromIDListA(root, path));
    EXPECT_EQ(std::string(path), dir);
    allocator->Free(root);
    allocator->Release();
}

// The callback's two selection requests, as a window receives them.
TEST(BrowseCallback, SelectsTheDriveRootThenTheStart) {
    std::vector<std::pair<WPARAM, std::string>> selections;
    CWnd window([&](UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == BFFM_SETSELECTIONA)
            selections.emplace_back(wParam, reinterpret_cast<const char*>(lParam));
    });
    const char* windowsStart = "c:\\a\\b";
    const char* linuxStart = "/home/u";
    for (auto [message, start] : {std::pair{BFFM_INITIALIZED, windowsStart},
                                  {BFFM_INITIALIZED, linuxStart},
                                  {BFFM_SELCHANGED, linuxStart}})
        EXPECT_EQ(
            BrowseCallbackProc(window.GetSafeHwnd(), message, 0, reinterpret_cast<LPARAM>(start)),
            0);
    kst::FlushPostedMessages();
    EXPECT_EQ(selections,
              (std::vector<std::pair<WPARAM, std::string>>{
                  {TRUE, "c:\\"}, {TRUE, "c:\\a\\b"}, {TRUE, "\\"}, {TRUE, "/home/u"}}));
}

}  // namespace

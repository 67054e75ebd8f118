// Message boxes, posted window messages and the folder dialog with scripted host handlers.
#include <gtest/gtest.h>

#include <errno.h>

#include <mutex>
#include <thread>
#include <tuple>

#include "KstPlatform.h"
#include "KstTest.h"
#include "KstWin32Base.h"
#include "KstWnd.h"

namespace {

TEST(MessageBox, WithoutHandlerPrintsAndAnswersTheChoiceThatStartsNothing) {
    const std::pair<UINT, int> cases[] = {
        {MB_OK, IDOK},
        {MB_OKCANCEL, IDCANCEL},
        {MB_ABORTRETRYIGNORE, IDABORT},
        {MB_YESNOCANCEL, IDCANCEL},
        {MB_YESNO, IDNO},
        {MB_RETRYCANCEL, IDCANCEL},
    };
    for (auto [type, answer] : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(MessageBoxA(nullptr, "Disk full", "Copy", type | MB_ICONSTOP | MB_SETFOREGROUND),
                  answer)
            << type;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Copy: Disk full\n");
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "text", nullptr, MB_YESNO), IDNO);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: text\n");
}

TEST(MessageBox, ScriptedHandlerSeesTextCaptionAndType) {
    std::vector<std::tuple<std::string, std::string, unsigned>> shown;
    auto previous = kst::SetMessageBoxHandler(
        [&](const std::string& text, const std::string& caption, unsigned type) {
            shown.emplace_back(text, caption, type);
            return shown.size() == 1 ? IDRETRY : IDYES;
        });
    EXPECT_FALSE(previous);
    EXPECT_EQ(MessageBoxA(nullptr, "Insert disk 2", "Span", MB_RETRYCANCEL), IDRETRY);
    EXPECT_EQ(AfxMessageBox("Continue?", MB_YESNO | MB_ICONQUESTION), IDYES);
    // A program named in Cyrillic: the caption reaches the handler in the ANSI page.
    char cyrillicName[] = "Архив";
    char* ownName = program_invocation_short_name;
    program_invocation_short_name = cyrillicName;
    {
        ksttest::CodePageScope pages(1251, 866);
        AfxMessageBox("text", MB_OK);
    }
    program_invocation_short_name = ownName;
    // The caption is the program's name.
    EXPECT_EQ(shown, (std::vector<std::tuple<std::string, std::string, unsigned>>{
                         {"Insert disk 2", "Span", MB_RETRYCANCEL},
                         {"Continue?", program_invocation_short_name, MB_YESNO | MB_ICONQUESTION},
                         {"text", "\xC0\xF0\xF5\xE8\xE2", MB_OK}}));

    EXPECT_TRUE(kst::SetMessageBoxHandler(nullptr));
    testing::internal::CaptureStderr();
    EXPECT_EQ(AfxMessageBox("back to default", MB_OKCANCEL), IDCANCEL);
    testing::internal::GetCapturedStderr();
}

struct Received {
    std::mutex mutex;
    std::vector<std::tuple<UINT, WPARAM, LPARAM, pid_t>> messages;
};

TEST(Wnd, MessagesPostedFromAnotherThreadArriveInOrder) {
    Received received;
    CWnd window([&](UINT message, WPARAM wParam, LPARAM lParam) {
        std::lock_guard lock(received.mutex);
        received.messages.emplace_back(message, wParam, lParam, gettid());
    });
    ASSERT_TRUE(IsWindow(window.m_hWnd));
    pid_t poster = 0;
    std::thread worker([&] {
        poster = gettid();
        for (WPARAM i = 1; i <= 100; ++i) EXPECT_TRUE(PostMessageA(window.m_hWnd, 0x461, i, 1));
    });
    worker.join();
    kst::FlushPostedMessages();
    std::lock_guard lock(received.mutex);
    ASSERT_EQ(received.messages.size(), 100u);
    for (WPARAM i = 0; i < 100; ++i) {
        auto [message, wParam, lParam, receiver] = received.messages[i];
        EXPECT_EQ(std::tuple(message, wParam, lParam), std::tuple(0x461u, i + 1, LPARAM(1)));
        EXPECT_NE(receiver, poster);
    }
}

TEST(Wnd, ABlockedHandlerDoesNotBlockThePosterAndDestroyedWindowsRejectMessages) {
    std::mutex gate;
    std::unique_lock hold(gate);
    int handled = 0;
    HWND handle;
    {
        CWnd window([&](UINT, WPARAM, LPARAM) {
            std::lock_guard wait(gate);
            ++handled;
        });
        handle = window.m_hWnd;
        // Returns although the handler is blocked.
        EXPECT_TRUE(window.PostMessage(WM_USER) && window.PostMessage(WM_USER));
        hold.unlock();
        kst::FlushPostedMessages();
        EXPECT_EQ(handled, 2);
        // Sent from the owner thread: handled at once.
        EXPECT_TRUE(window.SendNotifyMessage(WM_USER));
        EXPECT_EQ(handled, 3);
    }
    EXPECT_FALSE(IsWindow(handle) || PostMessageA(handle, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

int CALLBACK_SelectStart(HWND window, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED) {
        SendNotifyMessageA(window, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>("C:\\"));
        SendNotifyMessageA(window, BFFM_SETSELECTIONA, TRUE, data);
    }
    return 0;
}

TEST(Shell, FolderDialogWithScriptedHandlerAndParsedRoot) {
    std::string folder = ksttest::ScratchDir(), seenTitle, seenStart;
    std::string answer = folder + "/chosen";
    bool accept = true;
    kst::SetFolderDialogHandler(
        [&](const std::string& title, const std::string& start, std::string& chosen) {
            seenTitle = title;
            seenStart = start;
            chosen = answer;
            return accept;
        });
    char display[MAX_PATH] = "", path[MAX_PATH];
    const char* start = "C:\\Data\\Start";
    BROWSEINFOA info{};
    info.pszDisplayName = display;
    info.lpszTitle = "Pick a folder";
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    info.lpfn = CALLBACK_SelectStart;
    info.lParam = reinterpret_cast<LPARAM>(start);
    LPITEMIDLIST list = SHBrowseForFolderA(&info);
    ASSERT_NE(list, nullptr);
    // The start is the last selection sent from the callback.
    EXPECT_EQ(std::tuple(seenTitle, seenStart, std::string(display)),
              std::tuple("Pick a folder", start, "chosen"));
    LPMALLOC allocator = nullptr;
    ASSERT_TRUE(SHGetPathFromIDListA(list, path) && SHGetMalloc(&allocator) == S_OK);
    EXPECT_EQ(std::string(path), answer);
    allocator->Free(list);
    allocator->Release();

    // A parsed folder as the root is the start the handler sees.
    IShellFolder* desktop = nullptr;
    ASSERT_EQ(SHGetDesktopFolder(&desktop), S_OK);
    std::u16string wide(folder.begin(), folder.end());
    ULONG eaten = 0;
    ASSERT_EQ(desktop->ParseDisplayName(nullptr, nullptr, wide.data(), &eaten, &list, nullptr),
              S_OK);
    EXPECT_EQ(eaten, wide.size());
    accept = false;
    info = BROWSEINFOA{};
    info.pidlRoot = list;
    EXPECT_TRUE(SHBrowseForFolderA(&info) == nullptr && seenStart == folder);
    CoTaskMemFree(list);
    info.pidlRoot = nullptr;
    std::u16string missing = wide + u"/missing";
    EXPECT_EQ(desktop->ParseDisplayName(nullptr, nullptr, missing.data(), nullptr, &list, nullptr),
              static_cast<HRESULT>(0x80070002));
    EXPECT_TRUE(list == nullptr && desktop->Release() == 0u);

    kst::SetFolderDialogHandler(nullptr);
    accept = true;
    EXPECT_EQ(SHBrowseForFolderA(&info), nullptr);  // no handler: cancelled
    EXPECT_TRUE(!SHGetPathFromIDListA(nullptr, path) && path[0] == 0);
}

}  // namespace

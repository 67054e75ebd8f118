// CErrorInfo: message texts of the library's and the system's codes, the box a host is shown
// and its trace, the order of the setters, and the round trip through a property set.
#include <gtest/gtest.h>

#include <tuple>

#include "KstErrorInfo.h"
#include "KstLocalization.h"
#include "KstPlatform.h"
#include "KstPropertySet.h"
#include "TraceCapture.h"
#include "internal/CodePage.h"

namespace {

// Records the message boxes shown while it lives ("type|text") and answers each with `answer`.
struct BoxRecorder {
    explicit BoxRecorder(int answer = IDOK)
        : previous(kst::SetMessageBoxHandler(
              [this, answer](const std::string& text, const std::string&, unsigned type) {
                  boxes.push_back(std::to_string(type) + "|" + text);
                  return answer;
              })) {}
    ~BoxRecorder() { kst::SetMessageBoxHandler(previous); }
    std::vector<std::string> boxes;
    kst::MessageBoxHandler previous;
};

std::string Shown(UINT type, const std::string& text) {
    return std::to_string(type) + "|" + text;
}

void LoadMessages(const std::string& text) {
    std::string path = ksttest::ScratchDir() + "/messages.ini";
    ksttest::WriteFile(path, text);
    ASSERT_EQ(theMessage.Load(path.c_str()), 1);
}

void LoadSample() {
    ASSERT_EQ(
        theMessage.Load((std::string(KST_SOURCE_DIR) + "/errors/samples/messages.ini").c_str()), 1);
}

CErrorInfo Error(DWORD code, const char* description = "", const char* operation = "") {
    CErrorInfo error;
    error.Set(code, description, operation);
    return error;
}

constexpr UINT kStopInFront = MB_ICONSTOP | MB_SETFOREGROUND;

TEST(ErrorInfoTexts, OwnCodesFillTheirTemplate) {
    LoadSample();
    CErrorInfo error = Error(0x20000005, "%File%=a.txt");
    EXPECT_EQ(error.GetErrorMsgTempl(), "Не удалось открыть файл %File%.");
    EXPECT_EQ(error.GetErrorMsg(), "Не удалось открыть файл a.txt.");
    EXPECT_EQ(Error(0x20000007, "%Size%=512|%Drive%=A:").GetErrorMsg(),
              "На диске A: не хватает места: нужно ещё 512 байт.");
    EXPECT_EQ(Error(0x20000099, "%File%=a.txt").GetErrorMsg(), "");
}

TEST(ErrorInfoTexts, SystemCodesUseTheSystemTextAndItsFallbacks) {
    const std::pair<DWORD, const char*> codeTexts[] = {{0x20000005, "Kst:5"},
                                                       {5, "Win32:5"},
                                                       {0xE0000007, "Kst:7"},
                                                       {0x80040201, "Win32:2147746305"}};
    for (auto [code, text] : codeTexts) EXPECT_EQ(Error(code).GetErrorCodeText(), text);
    EXPECT_EQ(Error(ERROR_FILE_NOT_FOUND).GetErrorMsgTempl(),
              "The system cannot find the file specified.");
    const std::tuple<DWORD, const char*, const char*> messages[] = {
        {ERROR_FILE_NOT_FOUND, "", "The system cannot find the file specified."},
        {ERROR_FILE_NOT_FOUND, "a.txt", "The system cannot find the file specified. (a.txt)"},
        {0x80040201, "", "IDispatch error #1"},
        {0x8004FFFF, "", "IDispatch error #65023"},
        {0x80040200, "", "Unknown error 0x80040200"},
        {0x80050201, "", "Unknown error 0x80050201"},
        {12345, "", "Unknown error 0x3039"},
    };
    for (auto [code, description, text] : messages)
        EXPECT_EQ(Error(code, description).GetErrorMsg(), text) << code;
    EXPECT_EQ(Error(0).GetErrorMsgTempl(), "<Unknown>");
}

TEST(ErrorInfoBox, LinesForServerAndOperation) {
    LoadSample();
    BoxRecorder recorder(IDRETRY);
    CErrorInfo local = Error(0x20000005, "%File%=a.txt;");
    EXPECT_EQ(local.MessageBoxA(MB_RETRYCANCEL), static_cast<UINT>(IDRETRY));
    std::string codeLine = "(код ошибки Kst:5)\n";
    std::string message = "Не удалось открыть файл a.txt.\n";
    EXPECT_EQ(recorder.boxes,
              std::vector{Shown(MB_RETRYCANCEL | kStopInFront, message + codeLine)});
    EXPECT_EQ(local.m_strBoxText.str(), message + codeLine);

    CErrorInfo remote = Error(0x20000005, "%File%=a.txt;", "Copy");
    remote.m_eErrorType = 1;
    EXPECT_EQ(remote.GetErrorMsgForBox().str(),
              "Ошибка произошла на сервере.\n"
              "Ошибка при выполнении операции «Копирование файла».\n" +
                  message + codeLine);
    // An operation without a display name still gets its line, with an empty name.
    EXPECT_EQ(Error(ERROR_ACCESS_DENIED, "", "Unknown").GetErrorMsgForBox(),
              "Ошибка при выполнении операции «».\nAccess is denied.\n(код ошибки Win32:5)\n");
}

TEST(ErrorInfoBox, DescriptionPairsComeBeforeTheStandardOnes) {
    LoadMessages("[Message]\r\nErrorInfo=%Error% / %Error% (%ErrorCode%)\r\n[Error]\r\nK9=std\r\n");
    // A pair named like a standard one fills the first occurrence, the standard the next.
    EXPECT_EQ(Error(0x20000009, "%Error%=own;").GetErrorMsgForBox(), "own / std (Kst:9)\n");
    // A description without a final delimiter runs on into the first standard pair.
    LoadMessages("[Message]\r\nErrorInfo=%File% - %Error%\r\n[Error]\r\nK9=std\r\n");
    EXPECT_EQ(Error(0x20000009, "%File%=a.txt").GetErrorMsgForBox(),
              "a.txt%Error%=std - %Error%\n");
}

// Without texts the box is empty; without an error there is none.
TEST(ErrorInfoBox, WithoutTextsTheBoxIsEmptyAndNoErrorNoBox) {
    theMessage.RemoveAll();
    BoxRecorder recorder;
    CErrorInfo error = Error(0x20000005, "%File%=a.txt");
    EXPECT_EQ(error.GetErrorMsg() + error.GetErrorMsgForBox(), "");
    EXPECT_EQ(error.MessageBoxA(MB_OK), static_cast<UINT>(IDOK));
    LoadSample();
    CErrorInfo none;
    EXPECT_EQ(none.MessageBoxA(MB_OK), 0u);
    EXPECT_EQ(recorder.boxes, std::vector{Shown(kStopInFront, "")});
    EXPECT_EQ(none.m_strBoxText, "<Unknown>\n(код ошибки Win32:0)\n");
}

// One box per error, traced as a block.
TEST(ErrorInfoBox, OneMessageBoxOncePerErrorTracedAsABlock) {
    LoadSample();
    BoxRecorder recorder;
    auto trace = std::make_unique<ksttest::TraceCapture>();
    CErrorInfo error = Error(0x20000001);
    EXPECT_EQ(error.OneMessageBox(MB_OK), static_cast<UINT>(IDOK));
    EXPECT_EQ(error.OneMessageBox(MB_OK), 0u);
    EXPECT_EQ(recorder.boxes.size(), 1u);
    error.Init();
    EXPECT_TRUE(error.m_strBoxText.IsEmpty());
    error.SetError(0x20000001);
    EXPECT_EQ(error.OneMessageBox(MB_OK), static_cast<UINT>(IDOK));
    // Set starts a new error through Reset, which clears the remembered box too.
    error.Set(0x20000005, "%File%=b.txt;", "");
    EXPECT_EQ(error.OneMessageBox(MB_OK), static_cast<UINT>(IDOK));
    EXPECT_EQ(error.OneMessageBox(MB_OK), 0u);
    EXPECT_EQ(recorder.boxes.size(), 3u);
    std::string traced = trace->Text();
    trace.reset();
    EXPECT_NE(traced.find("; {{ *** ErrorInfo::MessageBox ***\r\nВнутренняя ошибка библиотеки.\r\n"
                          "(код ошибки Kst:1)\r\n}} *** ErrorInfo::MessageBox ***\r\n"),
              std::string::npos)
        << traced;
}

TEST(ErrorInfoBox, ErrorMsgBoxUsesStringOne) {
    BoxRecorder recorder;
    CErrorInfo::ErrorMsgBox("copy ", "a.txt", "disk full");
    CErrorInfo::ErrorMsgBox(nullptr, nullptr, nullptr);
    EXPECT_EQ(
        recorder.boxes,
        (std::vector{Shown(MB_OK, kst::detail::FromUtf8ToAnsi("Ошибка: copy a.txt\ndisk full.")),
                     Shown(MB_OK, kst::detail::FromUtf8ToAnsi("Ошибка: \n."))}));
}

// Records the order in which Set reaches the virtual setters.
class RecordingData : public CErrorData {
public:
    std::vector<std::string> calls;
    void Init() override {
        calls.push_back("Init");
        CErrorData::Init();
    }
    void SetError(DWORD code) override {
        calls.push_back("SetError");
        CErrorData::SetError(code);
    }
    void SetOperation(const CString& operation) override {
        calls.push_back("SetOperation");
        CErrorData::SetOperation(operation);
    }
    void SetDescription(const CString& description) override {
        calls.push_back("SetDescription");
        CErrorData::SetDescription(description);
    }
};

TEST(ErrorData, SetGoesThroughTheVirtualSetters) {
    RecordingData data;
    EXPECT_TRUE(data.calls.empty());  // the constructor runs its own Init
    data.Set(7, "d", "o");
    EXPECT_EQ(data.calls,
              (std::vector<std::string>{"Init", "SetError", "SetDescription", "SetOperation"}));
    CErrorData copy(data);
    EXPECT_EQ(
        std::tuple(copy.IsError(), copy.GetError(), copy.GetDescription(), copy.GetOperation()),
        std::tuple(1, DWORD(7), CString("d"), CString("o")));
}

TEST(ErrorInfoProperties, RoundTripThroughAPropertySet) {
    CPropertySet set;
    CErrorInfo error = Error(0x20000007, "%Drive%=A:;%Size%=10;", "Copy");
    error.m_eErrorType = 1;
    CErrorInfo::FormatError(set, error);
    CUIntP* code = nullptr;
    ASSERT_TRUE(set.GetCount() == 3 && set.Lookup("Error.Code", code));
    EXPECT_EQ(static_cast<UINT>(*code), 0x20000007u);

    CErrorInfo back(set);
    auto fields = [&] {
        return std::tuple(back.GetError(), back.GetDescription(), back.GetOperation(),
                          back.m_strBoxText, back.m_eErrorType);
    };
    // The server mark does not travel.
    EXPECT_EQ(fields(), std::tuple(DWORD(0x20000007), CString("%Drive%=A:;%Size%=10;"),
                                   CString("Copy"), CString(), 0));

    // Empty parts remove their keys, so a stale operation does not survive.
    CErrorInfo::FormatError(set, ERROR_FILE_NOT_FOUND, "", "");
    CStringP* operation = nullptr;
    EXPECT_TRUE(set.GetCount() == 1 && !set.Lookup("Error.Operation", operation));
    back.m_strBoxText = "old box";
    back.m_eErrorType = 2;
    back.SetErrorParam(set);
    EXPECT_EQ(fields(),
              std::tuple(DWORD(ERROR_FILE_NOT_FOUND), CString(), CString(), CString(), 0));
}

TEST(ErrorInfoProperties, PrefixedSetsAndValuesOfAnotherClass) {
    CPropertySet set;
    set.SetKeyPrefix("Job");
    CErrorInfo::FormatError(set, 0x20000005, "%File%=x;", "Span");
    EXPECT_EQ(CErrorInfo(set).GetOperation(), "Span");
    set.SetKeyPrefix("");
    CStringP* description = nullptr;
    ASSERT_TRUE(set.Lookup("Job.Error.Description", description));
    EXPECT_EQ(*description, "%File%=x;");
    EXPECT_EQ(CErrorInfo(set).GetError(), 0u);

    CPropertySet odd;
    odd.SetAt("Error.Code", CString("5"));
    odd.SetAt("Error.Operation", 3u);
    CErrorInfo error(odd);
    EXPECT_TRUE(error.GetError() == 0 && error.GetOperation().IsEmpty());
    EXPECT_TRUE(CErrorInfo(CPropertySet()).GetDescription().IsEmpty());
}

}  // namespace

// UnregSystemStuff on a real Windows of the NT family (Wine): a Winlogon "GinaDll" naming the earlier
// edition's kvgina.dll goes without a word; another logon library brings up the warning, which a
// second thread reads and answers. The NT file list names two libraries of the system directory,
// here kvtestcom.dll copies that delete HKCU\Software\KvTest\<their name> when unregistered.
//
// Wine shows message boxes only through a display driver: run-wine-tests.sh gives its prefix the null
// driver, which needs no X server.
#include "shared/warning_texts.h"
#include "windows/win_testing.h"

namespace {

const char kWinlogon[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char kQuillexPro[] = "Software\\Korvane\\QuillexPro";
const char* const kNtList[] = {"KVPwdFlt.dll", "KVMsg.dll"};

// Looks, on a thread of its own, for a dialog box of the thread under test, reads it and answers it.
class CBoxAnswerer {
public:
    CBoxAnswerer(DWORD thread, int answer) : thread_(thread), answer_(answer) {
        worker_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    // Called once the call under test has returned; whether a box was answered.
    bool Finish() {
        SetEvent(done_);
        WaitForSingleObject(worker_, INFINITE);
        CloseHandle(worker_);
        CloseHandle(done_);
        return box_ != nullptr;
    }
    std::string caption, text;

private:
    static BOOL CALLBACK FindBox(HWND window, LPARAM self) {
        char name[16] = {};
        GetClassNameA(window, name, sizeof name);
        if (lstrcmpA(name, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
        reinterpret_cast<CBoxAnswerer*>(self)->box_ = window;
        return FALSE;
    }
    // Gives up after 30 s, or when the call has returned without a box.
    static DWORD WINAPI Run(void* param) {
        auto* self = static_cast<CBoxAnswerer*>(param);
        for (int i = 0; i < 600 && !self->box_ && WaitForSingleObject(self->done_, 50) == WAIT_TIMEOUT; ++i)
            EnumThreadWindows(self->thread_, FindBox, reinterpret_cast<LPARAM>(self));
        if (!self->box_) return 0;
        char buffer[1024] = {};
        GetWindowTextA(self->box_, buffer, sizeof buffer);
        self->caption = buffer;
        GetDlgItemTextA(self->box_, 0xFFFF, buffer, sizeof buffer);  // the text's static control
        self->text = buffer;
        PostMessageA(self->box_, WM_COMMAND, self->answer_, 0);
        return 0;
    }

    DWORD thread_;
    int answer_;
    HANDLE done_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE worker_;
    HWND box_ = nullptr;
};

// The English warning with `value` in its place.
std::string EnglishWarning(const std::string& value) {
    std::string text;
    for (const char16_t* c = kWarningTexts[0].text; *c; ++c) text += static_cast<char>(*c);
    return text.replace(text.find("%s"), 2, value);
}

// Sets "GinaDll" to `value`, or deletes it when `value` is null.
void SetGinaDll(const std::string* value) {
    if (value) SetString(HKEY_LOCAL_MACHINE, kWinlogon, "GinaDll", *value);
    if (!value) RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kWinlogon, "GinaDll");
}

TEST(UnregSystemStuff, RemovesTheEarlierLogonLibraryAndWarnsOfAnother) {
    if (PRIMARYLANGID(GetUserDefaultLangID()) != LANG_ENGLISH) GTEST_SKIP() << "the user language is not English";
    CKvisinst library;
    const auto unregSystemStuff = library.Export<int (*)()>("UnregSystemStuff");
    ASSERT_NE(unregSystemStuff, nullptr);
    const std::vector<std::string> saved = ReadStrings(HKEY_LOCAL_MACHINE, kWinlogon, "GinaDll");
    for (const char* name : kNtList)
        ASSERT_TRUE(
            CopyFileA((ProgramFolder() + "kvtestcom.dll").c_str(), (SystemDirectory() + "\\" + name).c_str(), FALSE));

    const std::string kvgina = SystemDirectory() + "\\KvGina.Dll", other = "C:\\windows\\system32\\msgina.dll";
    const struct {
        const char* what;
        const std::string* ginaDll;  // null: no value
        bool quillexPro;             // Quillex Pro installed
        int answer;                  // the warning is shown and so answered; 0: no warning
        bool valueKept;
        int result;  // 1 on Cancel only; the list is unregistered unless cancelled
    } rows[] = {
        {"kvgina.dll", &kvgina, false, 0, false, 0},
        {"another library, Cancel", &other, false, IDCANCEL, true, 1},
        {"another library, OK", &other, false, IDOK, true, 0},
        {"another library, Quillex Pro installed", &other, true, 0, true, 0},
        {"no value", nullptr, false, 0, false, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        SetGinaDll(row.ginaDll);
        if (row.quillexPro) SetString(HKEY_LOCAL_MACHINE, kQuillexPro, "Version", "1.0.003.000");
        for (const char* name : kNtList) SetString(HKEY_CURRENT_USER, std::string("Software\\KvTest\\") + name);

        CBoxAnswerer answerer(GetCurrentThreadId(), row.answer ? row.answer : IDOK);
        EXPECT_EQ(unregSystemStuff(), row.result);
        const bool box = answerer.Finish();
        EXPECT_EQ(box, row.answer != 0) << (box ? "a box" : "no box: can this Wine show windows (display driver)?");
        if (box && row.answer) {
            EXPECT_EQ(answerer.caption, "Warning:");
            EXPECT_EQ(answerer.text, EnglishWarning(*row.ginaDll));
        }
        EXPECT_EQ(ReadStrings(HKEY_LOCAL_MACHINE, kWinlogon, "GinaDll"),
                  row.valueKept ? std::vector<std::string>{*row.ginaDll} : std::vector<std::string>{});
        for (const char* name : kNtList) {
            EXPECT_EQ(KeyExists(HKEY_CURRENT_USER, std::string("Software\\KvTest\\") + name), row.result == 1) << name;
            EXPECT_NE(GetFileAttributesA((SystemDirectory() + "\\" + name).c_str()), INVALID_FILE_ATTRIBUTES) << name;
        }
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kQuillexPro);
    }
    SetGinaDll(saved.empty() ? nullptr : &saved[0]);
    for (const char* name : kNtList) DeleteFileA((SystemDirectory() + "\\" + name).c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\KvTest");
}

}  // namespace

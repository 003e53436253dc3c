// Message boxes, the machine's local time, the program's module name and the simulated KERNEL32.DLL.
#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using winsim::OsVersion;

TEST(MessageBox, AnsweredWithTheDefaultButtonOrTheScriptedAnswer) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    struct Row {
        UINT type;
        int answer;
    };
    const Row kRows[] = {
        {MB_OK, IDOK},
        {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
        {MB_YESNO | MB_ICONQUESTION, IDYES},
        {MB_YESNO | MB_DEFBUTTON2, IDNO},
        {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
        {MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, IDRETRY},
        {MB_RETRYCANCEL, IDRETRY},
    };
    for (size_t i = 0; i < std::size(kRows); ++i)
        EXPECT_EQ(kRows[i].answer, MessageBoxA(nullptr, "text", "caption", kRows[i].type)) << "row " << i;
    machine->SetMessageBoxAnswer(IDNO);
    EXPECT_EQ(IDNO, MessageBoxA(nullptr, "Remove it?", nullptr, MB_YESNO));
    ASSERT_EQ(std::size(kRows) + 1, machine->MessageBoxes().size());
    const auto& last = machine->MessageBoxes().back();
    EXPECT_EQ("Remove it?", last.text);
    EXPECT_EQ("Error", last.caption);
    EXPECT_EQ(IDNO, last.answer);
    EXPECT_EQ(nullptr, GetForegroundWindow());
}

TEST(LocalTime, FollowsTheVirtualClockFromTheDayTheMachineStarts) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    struct Row {
        uint64_t advance;
        SYSTEMTIME expected;  // year, month, day of week, day, hour, minute, second, ms
    };
    const Row kRows[] = {
        {0, {2000, 2, 4, 17, 0, 0, 0, 0}},
        {((10 * 60 + 41) * 60 + 7) * 1000 + 250, {2000, 2, 4, 17, 10, 41, 7, 250}},
        {13ull * 86400000, {2000, 3, 3, 1, 10, 41, 7, 250}},    // past 29 February of a leap year
        {306ull * 86400000, {2001, 1, 1, 1, 10, 41, 7, 250}},   // a Monday
    };
    for (size_t i = 0; i < std::size(kRows); ++i) {
        SCOPED_TRACE(testing::Message() << "row " << i);
        machine->Advance(kRows[i].advance);
        SYSTEMTIME now;
        GetLocalTime(&now);
        const SYSTEMTIME& e = kRows[i].expected;
        EXPECT_EQ(e.wYear, now.wYear);
        EXPECT_EQ(e.wMonth, now.wMonth);
        EXPECT_EQ(e.wDayOfWeek, now.wDayOfWeek);
        EXPECT_EQ(e.wDay, now.wDay);
        EXPECT_EQ(e.wHour, now.wHour);
        EXPECT_EQ(e.wMinute, now.wMinute);
        EXPECT_EQ(e.wSecond, now.wSecond);
        EXPECT_EQ(e.wMilliseconds, now.wMilliseconds);
    }
}

TEST(Modules, TheProgramAndLinkedLibrariesLieWhereTheMachineSays) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    char path[MAX_PATH];
    EXPECT_EQ(18u, GetModuleFileNameA(nullptr, path, MAX_PATH));
    EXPECT_STREQ("C:\\Setup\\setup.exe", path);
    machine->SetProgramPath("D:\\SETUP\\INSTALL.EXE");
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    EXPECT_STREQ("D:\\SETUP\\INSTALL.EXE", path);

    winsim::ModuleImage image;
    image.fileName = "KVLINKED.DLL";
    HMODULE linked = winsim::RegisterModule(image);
    GetModuleFileNameA(linked, path, MAX_PATH);
    EXPECT_STREQ("C:\\WINNT\\System32\\KVLINKED.DLL", path);
    machine->SetModulePath("kvlinked.dll", "C:\\Program Files\\Korvane\\KVLINKED.DLL");
    GetModuleFileNameA(linked, path, MAX_PATH);
    EXPECT_STREQ("C:\\Program Files\\Korvane\\KVLINKED.DLL", path);
    winsim::UnregisterModule(linked);
}

TEST(Modules, Kernel32OffersIsDebuggerPresentFromWindows98On) {
    for (OsVersion version : {OsVersion::Win95, OsVersion::Win98, OsVersion::NT4, OsVersion::Win2000}) {
        SCOPED_TRACE(winsim::OsVersionName(version));
        winsim::ScopedMachine machine(version);
        HMODULE kernel = LoadLibraryA("Kernel32.dll");
        ASSERT_NE(nullptr, kernel);
        auto isDebuggerPresent = reinterpret_cast<BOOL (*)()>(reinterpret_cast<void (*)()>(GetProcAddress(kernel, "IsDebuggerPresent")));
        EXPECT_EQ(version != OsVersion::Win95, isDebuggerPresent != nullptr);
        if (isDebuggerPresent) {
            EXPECT_FALSE(isDebuggerPresent());
            machine->SetDebuggerPresent(true);
            EXPECT_TRUE(isDebuggerPresent());
        }
        FreeLibrary(kernel);
    }
    // A test can take the module away.
    winsim::ScopedMachine machine(OsVersion::Win2000);
    winsim::UnregisterModule(GetModuleHandleA("KERNEL32.DLL"));
    EXPECT_EQ(nullptr, LoadLibraryA("KERNEL32.DLL"));
}

}  // namespace

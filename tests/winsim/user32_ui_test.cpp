// Message boxes, the machine's local time, the program's module name and the simulated KERNEL32.DLL.
#include <winsim/dialogs.h>
#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

using winsim::OsVersion;

TEST(MessageBox, AnsweredWithTheDefaultButtonOrTheScriptedAnswer) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    const std::pair<UINT, int> kRows[] = {{MB_OK, IDOK}, {MB_YESNO | MB_ICONQUESTION, IDYES},
                                          {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
                                          {MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, IDRETRY}};
    for (const auto& [type, answer] : kRows) EXPECT_EQ(answer, MessageBoxA(nullptr, "t", "c", type)) << type;
    machine->Dialogs().SetMessageBoxAnswer(IDNO);
    EXPECT_EQ(IDNO, MessageBoxA(nullptr, "Remove it?", nullptr, MB_YESNO));
    ASSERT_EQ(std::size(kRows) + 1, machine->Dialogs().MessageBoxes().size());
    const auto& last = machine->Dialogs().MessageBoxes().back();
    EXPECT_EQ("Remove it?", last.text);
    EXPECT_EQ("Error", last.caption);
    EXPECT_EQ(IDNO, last.answer);
}

TEST(LocalTime, FollowsTheVirtualClockFromTheDayTheMachineStarts) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    // Expected as year-month-day (day of week) hour:minute:second.ms
    const std::pair<uint64_t, const char*> kRows[] = {
        {0, "2000-2-17 (4) 0:0:0.0"},
        {((10 * 60 + 41) * 60 + 7) * 1000 + 250, "2000-2-17 (4) 10:41:7.250"},
        {13ull * 86400000, "2000-3-1 (3) 10:41:7.250"},   // past 29 February of a leap year
        {306ull * 86400000, "2001-1-1 (1) 10:41:7.250"},  // a Monday
    };
    for (const auto& [advance, expected] : kRows) {
        machine->Advance(advance);
        SYSTEMTIME t;
        GetLocalTime(&t);
        char text[64];
        std::snprintf(text, sizeof text, "%u-%u-%u (%u) %u:%u:%u.%u", t.wYear, t.wMonth, t.wDay, t.wDayOfWeek, t.wHour,
                      t.wMinute, t.wSecond, t.wMilliseconds);
        EXPECT_STREQ(expected, text);
    }
}

TEST(Modules, TheProgramAndLinkedLibrariesLieWhereTheMachineSays) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    char path[MAX_PATH];
    EXPECT_EQ(18u, GetModuleFileNameA(nullptr, path, MAX_PATH));
    EXPECT_STREQ("C:\\Setup\\setup.exe", path);

    winsim::ModuleImage image;
    image.fileName = "KVLINKED.DLL";
    HMODULE linked = winsim::RegisterModule(image);
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
        auto isDebuggerPresent = winsim::ProcAs<BOOL (*)()>(GetProcAddress(kernel, "IsDebuggerPresent"));
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

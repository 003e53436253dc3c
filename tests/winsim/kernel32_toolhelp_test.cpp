// Toolhelp snapshots of the machine's processes and threads, as a program finds them by name.
#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/processes.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using winsim::OsVersion;

TEST(Toolhelp, IsExportedWhereWindowsHasItAndListsTheProcessesAndThreadsOfItsTime) {
    const char kHost[] = "C:\\Program Files\\Korvane\\KvHost.exe";
    const std::pair<OsVersion, const char*> rows[] = {
        {OsVersion::NT4, nullptr}, {OsVersion::Win98, kHost}, {OsVersion::Win2000, "KvHost.exe"}};
    for (const auto& [version, hostName] : rows) {
        winsim::ScopedMachine machine(version);
        winsim::ProgramScript script;
        script.path = kHost;
        script.run = winsim::ProgramScript::Run::Never;
        script.threads.resize(2);
        const auto host = machine->Processes().Start(script, kHost);
        HMODULE kernel32 = LoadLibraryA("kernel32.dll");
        const auto snap = winsim::ProcAs<HANDLE(WINAPI*)(DWORD, DWORD)>(
            GetProcAddress(kernel32, "CreateToolhelp32Snapshot"));
        FreeLibrary(kernel32);
        EXPECT_EQ(hostName == nullptr, snap == nullptr) << winsim::OsVersionName(version);
        if (!snap) continue;
        HANDLE snapshot = snap(TH32CS_SNAPALL, host->id);
        machine->Processes().EndAll();  // later changes do not show

        std::vector<std::pair<DWORD, DWORD>> threads;  // owner, thread: the caller's first, every one
        THREADENTRY32 thread = {};
        thread.dwSize = sizeof thread;
        for (BOOL ok = Thread32First(snapshot, &thread); ok; ok = Thread32Next(snapshot, &thread))
            threads.emplace_back(thread.th32OwnerProcessID, thread.th32ThreadID);
        const std::vector<std::pair<DWORD, DWORD>> expected = {
            {GetCurrentProcessId(), GetCurrentThreadId()}, {host->id, host->threadId}, {host->id, host->threads[1].id}};
        EXPECT_EQ(expected, threads);

        PROCESSENTRY32 entry = {};
        entry.dwSize = sizeof entry - 1;
        EXPECT_TRUE(!Process32First(snapshot, &entry) && GetLastError() == ERROR_BAD_LENGTH);
        entry.dwSize = sizeof entry;
        ASSERT_TRUE(Process32First(snapshot, &entry) && entry.th32ProcessID == GetCurrentProcessId());
        ASSERT_TRUE(Process32Next(snapshot, &entry) && entry.cntThreads == 2);
        EXPECT_STREQ(hostName, entry.szExeFile);
        EXPECT_TRUE(!Process32Next(snapshot, &entry) && GetLastError() == ERROR_NO_MORE_FILES);
        CloseHandle(snapshot);
    }
}

// Toolhelp snapshots of the machine's processes and threads, as a program finds them by name.
#include <winsim/files.h>
#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/processes.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using winsim::OsVersion;
using winsim::ProgramScript;

namespace {

const char kHost[] = "C:\\Program Files\\Korvane\\KvHost.exe";

DWORD StartHost(winsim::Machine& m, size_t threads) {
    EXPECT_TRUE(winsim::WriteWholeFile(kHost, "MZ"));
    ProgramScript script;
    script.path = kHost;
    script.run = ProgramScript::Run::Never;
    script.threads.resize(threads);
    m.Processes().SetProgram(script);
    return m.Processes().Start(script, kHost)->id;
}

}  // namespace

TEST(Toolhelp, IsExportedWhereWindowsHasItAndNamesTheExeAsTheVersionDoes) {
    const struct {
        OsVersion version;
        const char* hostName;  // null: no toolhelp
    } rows[] = {
        {OsVersion::NT4, nullptr},
        {OsVersion::Win95, kHost},
        {OsVersion::Win98, kHost},
        {OsVersion::Win2000, "KvHost.exe"},
        {OsVersion::WinXP, "KvHost.exe"},
    };
    for (const auto& row : rows) {
        winsim::ScopedMachine machine(row.version);
        const DWORD host = StartHost(*machine, 1);
        HMODULE kernel32 = LoadLibraryA("kernel32.dll");
        ASSERT_NE(nullptr, kernel32);
        using SnapshotProc = HANDLE(WINAPI*)(DWORD, DWORD);
        using WalkProc = BOOL(WINAPI*)(HANDLE, LPPROCESSENTRY32);
        const auto snap = winsim::ProcAs<SnapshotProc>(GetProcAddress(kernel32, "CreateToolhelp32Snapshot"));
        const auto next = winsim::ProcAs<WalkProc>(GetProcAddress(kernel32, "Process32Next"));
        FreeLibrary(kernel32);
        const char* version = winsim::OsVersionName(row.version);
        EXPECT_EQ(row.hostName == nullptr, snap == nullptr) << version;
        if (!snap) continue;
        HANDLE snapshot = snap(TH32CS_SNAPALL, 0);
        PROCESSENTRY32 entry = {};
        entry.dwSize = sizeof entry;
        ASSERT_TRUE(Process32First(snapshot, &entry)) << version;
        EXPECT_EQ(GetCurrentProcessId(), entry.th32ProcessID) << "the caller comes first";
        ASSERT_TRUE(next(snapshot, &entry)) << version;
        EXPECT_EQ(host, entry.th32ProcessID);
        EXPECT_STREQ(row.hostName, entry.szExeFile) << version;
        EXPECT_FALSE(next(snapshot, &entry));
        EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), GetLastError());
        CloseHandle(snapshot);
    }
}

TEST(Toolhelp, ListsEveryThreadOfTheSnapshotTimeAndChecksTheRecordSize) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    const DWORD host = StartHost(*machine, 3);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS | TH32CS_SNAPTHREAD, host);
    machine->Processes().EndAll();  // later changes do not show

    std::vector<std::pair<DWORD, DWORD>> threads;  // owner, thread
    THREADENTRY32 thread = {};
    thread.dwSize = sizeof thread;
    for (BOOL ok = Thread32First(snapshot, &thread); ok; ok = Thread32Next(snapshot, &thread))
        threads.emplace_back(thread.th32OwnerProcessID, thread.th32ThreadID);
    ASSERT_EQ(4u, threads.size());
    EXPECT_EQ(std::make_pair(GetCurrentProcessId(), GetCurrentThreadId()), threads[0]);
    const auto record = machine->Processes().List().back();
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(std::make_pair(host, record.threads[i].id), threads[i + 1]);
    EXPECT_EQ(record.threadId, threads[1].second) << "the main thread first";

    PROCESSENTRY32 process = {};
    process.dwSize = sizeof process - 1;
    EXPECT_FALSE(Process32First(snapshot, &process));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_LENGTH), GetLastError());
    process.dwSize = sizeof process;
    ASSERT_TRUE(Process32First(snapshot, &process));
    ASSERT_TRUE(Process32Next(snapshot, &process));
    EXPECT_EQ(3u, process.cntThreads);

    HANDLE onlyProcesses = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    EXPECT_FALSE(Thread32First(onlyProcesses, &thread));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), GetLastError());
    CloseHandle(onlyProcesses);
    CloseHandle(snapshot);
    EXPECT_FALSE(Process32First(snapshot, &process)) << "a closed snapshot";
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

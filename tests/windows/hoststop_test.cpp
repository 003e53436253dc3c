// StopHost on a real Windows (Wine) against kvhost_test.exe, a program built beside the tests that
// stands in for the product's host: two threads with message queues, which either end on WM_QUIT
// (exit code 7) or ignore it until terminated (exit code 0). No other process of the test machine has
// "kvhost" in its name.
#include "windows/win_testing.h"

namespace {

using StopHostExport = int (*)(const char*);

#ifdef _WIN64
const char kDecoratedStopHost[] = "?StopHost@@YAHPEBD@Z";
#else
const char kDecoratedStopHost[] = "?StopHost@@YAHPBD@Z";
#endif

// Starts the host in `mode` and waits until both its threads have their message queues.
PROCESS_INFORMATION StartHost(const char* mode) {
    const std::string event = "KvHostReady" + std::to_string(GetCurrentProcessId());
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, event.c_str());
    std::string commandLine = "\"" + ProgramFolder() + "kvhost_test.exe\" " + mode + " " + event;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    EXPECT_TRUE(
        CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        << commandLine << ": error " << GetLastError();
    EXPECT_EQ(WaitForSingleObject(ready, 30000), WAIT_OBJECT_0) << "the host did not get ready";
    CloseHandle(ready);
    return process;
}

TEST(StopHost, EndsTheHostPolitelyOrByForce) {
    CKvisinst library;
    const struct {
        const char* mode;  // null: no host runs
        const char* exportName;
        const char* argument;  // not used by the export
        DWORD exitCode;        // 7: ended on WM_QUIT; 0: terminated
    } rows[] = {
        {nullptr, "StopHost", "kvhost_test.exe", 0},
        {"quits", kDecoratedStopHost, nullptr, 7},
        {"ignores", "StopHost", "", 0},  // waits the whole minute
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.mode ? row.mode : "no host");
        const auto stopHost = library.Export<StopHostExport>(row.exportName);
        ASSERT_NE(stopHost, nullptr);
        const PROCESS_INFORMATION host = row.mode ? StartHost(row.mode) : PROCESS_INFORMATION{};
        EXPECT_NE(stopHost(row.argument), 0);
        if (!host.hProcess) continue;
        DWORD exitCode = STILL_ACTIVE;
        EXPECT_EQ(WaitForSingleObject(host.hProcess, 0), WAIT_OBJECT_0) << "the host still runs";
        GetExitCodeProcess(host.hProcess, &exitCode);
        EXPECT_EQ(exitCode, row.exitCode);
        TerminateProcess(host.hProcess, 1);
        CloseHandle(host.hThread);
        CloseHandle(host.hProcess);
    }
}

}  // namespace

// The trace under load on a real Win32 (Wine): four processes append lines into one trace file, each
// through this program's copy of the trace code and through the built KVISINST.DLL, while a fifth is
// killed with TerminateProcess as it holds the trace mutex. Every record reads back whole, none is
// lost, each process's come in its order, and kvtrace on Linux reads the same file (the ctest step
// kvtrace_reads_wine_traceload). The processes are this program started again with "--writer".
#include "kvisinst/exports.h"
#include "kvisinst/trace/trace.h"
#include "shared/trace_records.h"
#include "windows/win_testing.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

// The library's process attach and detach, linked into this program with the library's objects.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace {

constexpr int kWriters = 4;
// Numbered lines of each writer, through this program's trace code; after every kDllEvery-th the
// library's IsVer100 writes one (it looks for two files, which under Wine costs some milliseconds).
constexpr int kLinesEach = 10000;
constexpr int kDllEvery = 50;
constexpr int kHolderLines = 50;
const char kTracingKey[] = "SOFTWARE\\Korvane\\Tracing";
const char kTraceMutex[] = "__KV_TRACE_MUTEX__";
const char kHeldEvent[] = "kvtraceload-held";        // the holder owns the trace mutex
const char kReadySemaphore[] = "kvtraceload-ready";  // a writer is about to write its first line

std::string Padding(int line) { return std::string(static_cast<size_t>(line % 61), '.'); }

// A writer: numbered lines through this program's trace code, and between them IsVer100 of the
// library, which traces a line of its own. With `hold`, it then takes the trace mutex, says so, and
// waits to be killed. The exit code tells what failed.
int RunWriter(int process, int lines, bool hold) {
    HMODULE library = LoadLibraryA("KVISINST.DLL");
    const auto isVer100 = library ? ProcAs<decltype(&IsVer100)>(GetProcAddress(library, "IsVer100")) : nullptr;
    if (!isVer100) return 2;
    HINSTANCE self = GetModuleHandleA(nullptr);
    DllMain(self, DLL_PROCESS_ATTACH, nullptr);
    HANDLE ready = hold ? nullptr : OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, kReadySemaphore);
    if (ready) {
        ReleaseSemaphore(ready, 1, nullptr);
        CloseHandle(ready);
    }
    for (int i = 0; i < lines; ++i) {
        {
            TraceScope scope("Worker");
            TraceMessage(scope, nullptr, "process %d line %d %s", process, i, Padding(i).c_str());
        }
        if (i % kDllEvery == 0) isVer100();
    }
    if (hold) {
        HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, kTraceMutex);
        HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, kHeldEvent);
        if (!mutex || !held || WaitForSingleObject(mutex, INFINITE) != WAIT_OBJECT_0) return 3;
        SetEvent(held);
        Sleep(INFINITE);
    }
    DllMain(self, DLL_PROCESS_DETACH, nullptr);
    FreeLibrary(library);
    return 0;
}

HANDLE StartWriter(int process, int lines, bool hold) {
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    char commandLine[MAX_PATH + 64];
    wsprintfA(commandLine, "\"%s\" --writer %d %d%s", program, process, lines, hold ? " hold" : "");
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
        return nullptr;
    CloseHandle(started.hThread);
    return started.hProcess;
}

class TraceLoad : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteFileA(TracePath().c_str());
        SetString(HKEY_LOCAL_MACHINE, kTracingKey, "FileName", TracePath());
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTracingKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
        const std::pair<const char*, DWORD> settings[] = {
            {"DoTrace", 1}, {"NewFileAlways", 0}, {"PrintTime", 0}, {"PrintThreadId", 1}};
        for (const auto& setting : settings)
            RegSetValueExA(key, setting.first, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&setting.second),
                           sizeof(DWORD));
        RegCloseKey(key);
        // Kept open here, so that it outlives every writer.
        mutex_ = CreateMutexA(nullptr, FALSE, kTraceMutex);
        held_ = CreateEventA(nullptr, TRUE, FALSE, kHeldEvent);
        ready_ = CreateSemaphoreA(nullptr, 0, kWriters, kReadySemaphore);
        ASSERT_TRUE(mutex_ && held_ && ready_);
    }

    void TearDown() override {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kTracingKey);
        for (HANDLE h : {mutex_, held_, ready_})
            if (h) CloseHandle(h);
    }

    static std::string TracePath() { return ProgramFolder() + "wine-traceload.trace"; }

    // Starts a writer of `lines` lines that then holds the trace mutex, and waits until it does.
    HANDLE StartHolder(int process, int lines) {
        HANDLE holder = StartWriter(process, lines, true);
        EXPECT_NE(nullptr, holder);
        const HANDLE waits[] = {held_, holder};
        EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForMultipleObjects(2, waits, FALSE, 60000));
        return holder;
    }

    HANDLE mutex_ = nullptr;
    HANDLE held_ = nullptr;
    HANDLE ready_ = nullptr;
};

TEST_F(TraceLoad, AProcessTerminatedHoldingTheTraceMutexLeavesItAbandoned) {
    HANDLE holder = StartHolder(0, 0);
    ASSERT_TRUE(TerminateProcess(holder, 1));
    WaitForSingleObject(holder, INFINITE);
    CloseHandle(holder);
    EXPECT_EQ(static_cast<DWORD>(WAIT_ABANDONED), WaitForSingleObject(mutex_, 10000));
    EXPECT_TRUE(ReleaseMutex(mutex_));
}

TEST_F(TraceLoad, FourProcessesAppendWholeLinesWhileOneIsTerminatedHoldingTheMutex) {
    HANDLE holder = StartHolder(kWriters, kHolderLines);
    std::vector<HANDLE> writers;
    for (int p = 0; p < kWriters; ++p) {
        writers.push_back(StartWriter(p, kLinesEach, false));
        ASSERT_NE(nullptr, writers.back());
    }
    // Once every writer is at its first line, they wait for the mutex; the holder's end lets them go.
    for (int p = 0; p < kWriters; ++p) EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(ready_, 60000));
    ASSERT_TRUE(TerminateProcess(holder, 1));
    CloseHandle(holder);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForMultipleObjects(kWriters, writers.data(), TRUE, 240000));
    for (HANDLE writer : writers) {
        DWORD code = 1;
        GetExitCodeProcess(writer, &code);
        EXPECT_EQ(0u, code);
        CloseHandle(writer);
    }
    // One writer's wait got the abandoned mutex, and released it like any other.
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(mutex_, 0));
    ReleaseMutex(mutex_);

    std::ifstream in(TracePath(), std::ios::binary);
    const TraceRecords file = ReadTraceRecords(std::string(std::istreambuf_iterator<char>(in), {}));
    EXPECT_FALSE(file.header);
    EXPECT_TRUE(file.whole);
    // Each process's lines come in its order: its numbered lines, and the library's IsVer100 line
    // after every kDllEvery-th, all carrying its thread id. Other test programs that load the library
    // meanwhile may add lines of their own; they must read whole too, and are otherwise left alone.
    auto counts = [](int lines) { return std::make_pair(lines, (lines + kDllEvery - 1) / kDllEvery); };
    std::map<unsigned, int> processOfThread;
    std::map<int, std::pair<int, int>> linesOf;  // numbered lines and library lines of each process
    for (const std::string& text : file.lines) {
        unsigned thread = 0;
        int process = -1, line = -1, end = 0;
        if (std::sscanf(text.c_str(), "Worker(0x%X) process %d line %d %n", &thread, &process, &line, &end) == 3) {
            ASSERT_TRUE(process >= 0 && process <= kWriters) << text;
            processOfThread[thread] = process;
            ASSERT_EQ(counts(line), linesOf[process]) << text;
            EXPECT_EQ(Padding(line), text.substr(static_cast<size_t>(end))) << text;
            ++linesOf[process].first;
        } else if (std::sscanf(text.c_str(), "IsVer100(0x%X) IT IS", &thread) == 1 && processOfThread.count(thread)) {
            auto& [numbered, library] = linesOf[processOfThread[thread]];
            ASSERT_EQ(kDllEvery * library + 1, numbered) << text;
            ++library;
        }
    }
    std::map<int, std::pair<int, int>> expected = {{kWriters, counts(kHolderLines)}};
    for (int p = 0; p < kWriters; ++p) expected[p] = counts(kLinesEach);
    EXPECT_EQ(expected, linesOf);

    // What kvtrace on Linux must print for this file.
    std::ofstream out(ProgramFolder() + "wine-traceload.expected", std::ios::binary);
    for (const auto& line : file.lines) out << line << '\n';
}

}  // namespace

// A writer when started with "--writer PROCESS LINES [hold]", the tests otherwise.
int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "--writer") == 0)
        return RunWriter(std::atoi(argv[2]), std::atoi(argv[3]), argc >= 5 && std::strcmp(argv[4], "hold") == 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

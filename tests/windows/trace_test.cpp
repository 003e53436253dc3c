// The trace facility on a real Win32 (Wine): the library's own trace calls write a trace file, which
// holds the known record where the message is, which this program reads back, and which kvtrace on
// Linux reads back as well (the ctest step kvtrace_reads_wine_trace compares its output with the
// lines this program expects).
#include "kvisinst/trace/trace.h"
#include "shared/trace_records.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// The library's process attach and detach, linked into this program with the library's objects.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace {

const char kTracingKey[] = "SOFTWARE\\Korvane\\Tracing";

// Beside the program: the build folder, which the host's ctest step reads from.
std::string BesideProgram(const char* name) {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1) + name;
}

void SetDword(HKEY key, const char* name, DWORD value) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value));
}

// The system's own text for a code, as the trace writes it: up to the first line end.
std::string SystemText(DWORD code) {
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0,
                   reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string result = text ? text : "";
    if (text) LocalFree(text);
    return result.substr(0, result.find_first_of("\r\n"));
}

TEST(WindowsTrace, TheLibrarysTraceCallsWriteAnEncipheredTraceFile) {
    const std::string tracePath = BesideProgram("wine-trace.trace");
    DeleteFileA(tracePath.c_str());
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kTracingKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    SetDword(key, "DoTrace", 1);
    SetDword(key, "TraceEntryExit", 1);
    SetDword(key, "PrintTime", 0);
    SetDword(key, "PrintThreadId", 1);
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "FileName", 0, REG_SZ, reinterpret_cast<const BYTE*>(tracePath.c_str()),
                                            static_cast<DWORD>(tracePath.size() + 1)));
    RegCloseKey(key);

    // A load of the library: its mutex is made, its settings read at the first traced call.
    HINSTANCE self = GetModuleHandleA(nullptr);
    DllMain(self, DLL_PROCESS_ATTACH, nullptr);
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "__KV_TRACE_MUTEX__");
    EXPECT_NE(nullptr, mutex);
    if (mutex) CloseHandle(mutex);
    {
        TraceScope scope("WineTrace");
        TraceMessage(scope, nullptr, "%s", kKnownMessage);
        {
            TraceScope inner("Inner");
            TraceError(inner, "", E_ACCESSDENIED, nullptr);
            TraceError(inner, "Caption", static_cast<LONG>(0x80041234), nullptr);
        }
    }
    DllMain(self, DLL_PROCESS_DETACH, nullptr);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kTracingKey);

    char tid[16];
    wsprintfA(tid, "(0x%X)", static_cast<unsigned>(GetCurrentThreadId()));
    const std::vector<std::string> expected = {
        std::string(">>>WineTrace") + tid,
        "  known answer\nof the record cipher",
        std::string("  >>>Inner") + tid,
        "    *ERR* " + SystemText(0x80070005) + " (0x80070005)",
        "    *ERR* Caption unknown error code (0x80041234)",
        std::string("  <<<Inner") + tid,
        std::string("<<<WineTrace") + tid,
    };
    std::ifstream in(tracePath, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const TraceRecords file = ReadTraceRecords(bytes);
    EXPECT_TRUE(file.header);
    EXPECT_TRUE(file.whole);
    EXPECT_EQ(expected, file.lines);
    // The header, then the entry line's record: its length and its text with CR LF.
    const size_t message = kTraceFileHeaderSize + 4 + expected[0].size() + 2;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(kKnownRecord), sizeof kKnownRecord),
              bytes.substr(message, sizeof kKnownRecord));

    // What kvtrace on Linux must print for this file.
    std::ofstream out(BesideProgram("wine-trace.expected"), std::ios::binary);
    for (const auto& line : expected) out << line << '\n';
}

}  // namespace

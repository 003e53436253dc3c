// The trace facility on a real Win32 (Wine): the library's own trace calls write a trace file, which
// holds the known record where the message is, which this program reads back, and which kvtrace on
// Linux reads back as well (the ctest step kvtrace_reads_wine_trace compares its output with the
// lines this program expects).
#include "kvisinst/trace/trace.h"
#include "shared/trace_records.h"
#include "windows/win_testing.h"

#include <fstream>
#include <iterator>

// The library's process attach and detach, linked into this program with the library's objects.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace {

const char kTracingKey[] = "SOFTWARE\\Korvane\\Tracing";

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
    // Beside the program: the build folder, which the host's ctest step reads from.
    const std::string tracePath = ProgramFolder() + "wine-trace.trace";
    DeleteFileA(tracePath.c_str());
    SetString(HKEY_LOCAL_MACHINE, kTracingKey, "FileName", tracePath);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTracingKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    const std::pair<const char*, DWORD> settings[] = {
        {"DoTrace", 1}, {"TraceEntryExit", 1}, {"PrintTime", 0}, {"PrintThreadId", 1}};
    for (const auto& setting : settings)
        RegSetValueExA(key, setting.first, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&setting.second), sizeof(DWORD));
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
    std::ofstream out(ProgramFolder() + "wine-trace.expected", std::ios::binary);
    for (const auto& line : expected) out << line << '\n';
}

}  // namespace

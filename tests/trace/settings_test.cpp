// How the Tracing key's values are read: once per load, by their first four bytes.
#include "kvisinst/trace/trace.h"

#include "trace/trace_testing.h"

#include <winsim/handles.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using tracetest::TraceLines;

void Say(const char* text) {
    TraceScope scope("CleanUp");
    TraceMessage(scope, nullptr, "%s", text);
}

class TraceSettingsTest : public tracetest::TraceTest {};

TEST_F(TraceSettingsTest, ValuesOfAnyTypeReadAsTheirFirstFourBytes) {
    struct Row {
        const char* name;
        DWORD type;
        std::string data;
        bool traced;
    };
    const Row kRows[] = {
        {"DWORD 1", REG_DWORD, std::string("\x01\0\0\0", 4), true},
        {"DWORD 0", REG_DWORD, std::string(4, '\0'), false},
        {"DWORD with only its high byte set", REG_DWORD, std::string("\0\0\0\x80", 4), true},
        {"4-byte binary", REG_BINARY, std::string("\0\x01\0\0", 4), true},
        {"string \"1\" reads as 0x31", REG_SZ, std::string("1\0", 2), true},
        {"empty string", REG_SZ, std::string("\0", 1), false},
        {"1-byte binary", REG_BINARY, std::string("\x07", 1), true},
        {"5 bytes count as missing", REG_BINARY, std::string("\x01\0\0\0\0", 5), false},
    };
    for (size_t i = 0; i < std::size(kRows); ++i) {
        SCOPED_TRACE(testing::Message() << "row " << i << " (" << kRows[i].name << ")");
        tracetest::RemoveFile(tracetest::kTraceFile);
        tracetest::SetString("FileName", tracetest::kTraceFile);
        tracetest::SetDword("PrintTime", 0);
        tracetest::SetValue("DoTrace", kRows[i].type, kRows[i].data.data(), static_cast<DWORD>(kRows[i].data.size()));
        Reload();
        Say("hello");
        EXPECT_EQ(kRows[i].traced ? std::vector<std::string>{"CleanUp() hello"} : std::vector<std::string>{},
                  TraceLines());
    }
}

TEST_F(TraceSettingsTest, DelimiterAndVerbosityReadTheirWholeValue) {
    // A 1-byte Delimiter value is the character itself; Verbosity is signed.
    tracetest::SetValue("Delimiter", REG_BINARY, "|", 1);
    TraceOn({{"PrintTime", 0}, {"Verbosity", 0x80000000}});
    Reload();
    Say("nothing");
    TraceScope scope("CleanUp");
    TraceError(scope, "", E_FAIL, nullptr);
    EXPECT_EQ(std::vector<std::string>{"*ERR*|CleanUp()|Unspecified error (0x80004005)"}, TraceLines());
}

TEST_F(TraceSettingsTest, ChangesTakeEffectAtTheNextLoad) {
    TraceOn({{"PrintTime", 0}});
    Reload();
    Say("one");
    tracetest::SetDword("DoTrace", 0);
    tracetest::SetDword("PrintTime", 1);
    Say("two");
    EXPECT_EQ((std::vector<std::string>{"CleanUp() one", "CleanUp() two"}), TraceLines());

    // The next load reads DoTrace 0: nothing more is written, and the file is left as it was.
    Reload();
    Say("three");
    EXPECT_EQ((std::vector<std::string>{"CleanUp() one", "CleanUp() two"}), TraceLines());
}

TEST_F(TraceSettingsTest, TheSinkReadsDoTraceAgainWhenItIsMade) {
    TraceOn({{"PrintTime", 0}});
    Reload();
    TraceScope scope("CleanUp");  // settings loaded; no line written yet, so no sink
    tracetest::SetDword("DoTrace", 0);
    TraceMessage(scope, nullptr, "dropped");
    tracetest::SetDword("DoTrace", 1);
    TraceMessage(scope, nullptr, "dropped too: the sink is made once");
    EXPECT_FALSE(winsim::ReadWholeFile(tracetest::kTraceFile));
}

TEST_F(TraceSettingsTest, TraceEnterTakesAndReleasesTheMutexWithTracingOff) {
    Reload();
    { TraceScope scope("CleanUp"); }
    // Another thread can take the mutex: the trace call released it.
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "__KV_TRACE_MUTEX__");
    ASSERT_NE(nullptr, mutex);
    DWORD result = WAIT_FAILED;
    std::thread other([&] {
        result = WaitForSingleObject(mutex, 0);
        if (result == WAIT_OBJECT_0) ReleaseMutex(mutex);
    });
    other.join();
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), result);
    CloseHandle(mutex);
}

TEST_F(TraceSettingsTest, UnloadClosesTheMutexAndTheFile) {
    const size_t before = winsim::OpenHandleCount();
    TraceOn();
    Reload();
    Say("open");
    EXPECT_EQ(before + 1, winsim::OpenHandleCount());  // the trace file; the mutex is counted in `before`
    winsim::SetCurrent(nullptr);
    EXPECT_EQ(before - 1, winsim::OpenHandleCount());
    winsim::SetCurrent(&*machine_);
}

}  // namespace

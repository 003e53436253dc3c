// How the Tracing key's values are read: once per load, by their first four bytes.
#include "kvisinst/common/error.h"
#include "kvisinst/trace/trace.h"

#include "trace/trace_testing.h"

#include <winsim/handles.h>
#include <winsim/registry.h>

#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {
// While nonzero, the next allocation of at least this many bytes on this thread fails, once.
thread_local size_t g_failAllocationOf = 0;
}  // namespace

// Every form a test or the library uses, so that each allocation and its release meet; out of line,
// so that the compiler does not pair the malloc and free inside them across a test.
__attribute__((noinline)) void* operator new(std::size_t size) {
    if (g_failAllocationOf && size >= g_failAllocationOf) {
        g_failAllocationOf = 0;
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
__attribute__((noinline)) void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (g_failAllocationOf && size >= g_failAllocationOf) {
        g_failAllocationOf = 0;
        return nullptr;
    }
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& nothrow) noexcept { return operator new(size, nothrow); }
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete[](void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using tracetest::Say;
using tracetest::TraceLines;
using Lines = std::vector<std::string>;

class TraceSettingsTest : public tracetest::TraceTest {};

TEST_F(TraceSettingsTest, ValuesOfAnyTypeReadAsTheirFirstFourBytes) {
    const struct {
        const char* name;
        DWORD type;
        std::string data;
        bool traced;
    } kRows[] = {
        {"DWORD 0", REG_DWORD, std::string(4, '\0'), false},
        {"DWORD with only its high byte set", REG_DWORD, std::string("\0\0\0\x80", 4), true},
        {"4-byte binary", REG_BINARY, std::string("\0\x01\0\0", 4), true},
        {"string \"1\" reads as 0x31", REG_SZ, std::string("1\0", 2), true},
        {"5 bytes count as missing", REG_BINARY, std::string("\x01\0\0\0\0", 5), false},
    };
    for (size_t i = 0; i < std::size(kRows); ++i) {
        SCOPED_TRACE(testing::Message() << "row " << i << " (" << kRows[i].name << ")");
        TraceOn({{"PrintTime", 0}});
        tracetest::SetValue("DoTrace", kRows[i].type, kRows[i].data.data(), static_cast<DWORD>(kRows[i].data.size()));
        Reload();
        Say("hello");
        EXPECT_EQ(kRows[i].traced ? Lines{"CleanUp() hello"} : Lines{}, TraceLines());
    }
}

TEST_F(TraceSettingsTest, DelimiterAndVerbosityReadTheirWholeValue) {
    // A 1-byte Delimiter value is the character itself; Verbosity is signed.
    TraceOn({{"PrintTime", 0}, {"Verbosity", 0x80000000}});
    tracetest::SetValue("Delimiter", REG_BINARY, "|", 1);
    Reload();
    Say("nothing");
    TraceScope scope("CleanUp");
    TraceError(scope, "", E_FAIL, nullptr);
    EXPECT_EQ(Lines{"*ERR*|CleanUp()|Unspecified error (0x80004005)"}, TraceLines());
}

TEST_F(TraceSettingsTest, ValuesAndListsChangeAtTheNextLoadAndTheSinkReadsDoTraceOnce) {
    TraceOn({{"PrintTime", 0}});
    Reload();
    Say("one");
    // Read at the first trace call: what changes now counts from the next load on.
    tracetest::SetDword("PrintTime", 1);
    tracetest::SetDword("Second", 1, "FunctionsNOT");
    { TraceScope second("Second"); TraceMessage(second, nullptr, "two"); }
    EXPECT_EQ((Lines{"CleanUp() one", "Second() two"}), TraceLines());
    Reload();
    { TraceScope second("Second"); TraceMessage(second, nullptr, "dropped"); }
    Say("three");
    EXPECT_EQ(Lines{"10:41:07:250 CleanUp() three"}, TraceLines());
    // DoTrace 0 at the next load: nothing is written, and the file is left as it was.
    tracetest::SetDword("DoTrace", 0);
    Reload();
    Say("four");
    EXPECT_EQ(Lines{"10:41:07:250 CleanUp() three"}, TraceLines());
    // The sink, made at the first line, reads DoTrace again then, and only then.
    tracetest::SetDword("DoTrace", 1);
    Reload();
    TraceScope scope("CleanUp");  // settings loaded; no line written yet, so no sink
    tracetest::SetDword("DoTrace", 0);
    TraceMessage(scope, nullptr, "dropped");
    tracetest::SetDword("DoTrace", 1);
    TraceMessage(scope, nullptr, "dropped too: the sink is made once");
    EXPECT_EQ(Lines{"10:41:07:250 CleanUp() three"}, TraceLines());
}

TEST_F(TraceSettingsTest, TraceEnterReleasesTheMutexWithTracingOff) {
    Reload();
    { TraceScope scope("CleanUp"); }
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "__KV_TRACE_MUTEX__");
    ASSERT_NE(nullptr, mutex);
    DWORD result = WAIT_FAILED;
    std::thread other([&] {  // another thread, so that a mutex still owned by this one would show
        result = WaitForSingleObject(mutex, 0);
        if (result == WAIT_OBJECT_0) ReleaseMutex(mutex);
    });
    other.join();
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), result);
    CloseHandle(mutex);
}

TEST_F(TraceSettingsTest, RunningOutOfMemoryWhileListsAreReadClosesTheirKeysAndLoadsAgainLater) {
    TraceOn({{"PrintTime", 0}});
    // The wide copy of this name is the only allocation of its size while the settings load.
    const std::string name(250, 'F');
    tracetest::SetDword(name.c_str(), 1, "FunctionsNOT");
    Reload();
    const size_t keys = machine_->Reg().OpenHandleCount();
    g_failAllocationOf = 2 * name.size();
    try {
        TraceScope scope("CleanUp");
        ADD_FAILURE() << "no allocation failed";
    } catch (const CWin32Error& error) {
        EXPECT_EQ(E_OUTOFMEMORY, error.Result());
    }
    g_failAllocationOf = 0;
    EXPECT_EQ(keys, machine_->Reg().OpenHandleCount());
    Say("loaded again");
    EXPECT_EQ(Lines{"CleanUp() loaded again"}, TraceLines());
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

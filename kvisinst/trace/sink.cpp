// Choosing the sink.
#include "kvisinst/trace/sink.h"

#include "kvisinst/trace/settings.h"
#include "kvisinst/trace/tracefile.h"

#include <new>

namespace {

TraceSink* g_sink = nullptr;

// IsDebuggerPresent is looked up by name: Windows 95's KERNEL32 has none, and an import of it would
// keep the library from loading there.
bool DebuggerAttached() {
    const CLibrary kernel(LoadLibraryA("Kernel32.dll"));
    if (!kernel) return false;
    const auto isDebuggerPresent = GetProcAddressAs<BOOL(WINAPI*)()>(kernel.Get(), "IsDebuggerPresent");
    return isDebuggerPresent && isDebuggerPresent();
}

TraceSink* MakeSink() {
    const CRegKey key = OpenTracingKey();
    if (!ReadTraceSwitch(key, "DoTrace", false)) return new (std::nothrow) NullTraceSink;
    if (ReadTraceSwitch(key, "TraceToFile", true)) return new (std::nothrow) FileTraceSink;
    if (DebuggerAttached()) return new (std::nothrow) DebuggerTraceSink;
    return new (std::nothrow) SilentTraceSink;
}

}  // namespace

TraceSink* GetTraceSink() {
    if (!g_sink) g_sink = MakeSink();
    return g_sink;
}

void WriteTraceLine(const char* line) {
    if (!line) return;
    if (TraceSink* sink = GetTraceSink()) sink->Write(line);
}

void DestroyTraceSink() {
    delete g_sink;
    g_sink = nullptr;
}

// Choosing the sink.
#include "kvisinst/trace/sink.h"

#include "kvisinst/trace/settings.h"
#include "kvisinst/trace/tracefile.h"

#include <new>

namespace {

TraceSink* g_sink = nullptr;

// IsDebuggerPresent is looked up by name: Windows 95 has none.
bool DebuggerAttached() {
    HMODULE kernel = LoadLibraryA("Kernel32.dll");
    if (!kernel) return false;
    typedef BOOL(WINAPI * IsDebuggerPresentFunction)();
    const auto isDebuggerPresent =
        reinterpret_cast<IsDebuggerPresentFunction>(reinterpret_cast<void (*)()>(GetProcAddress(kernel, "IsDebuggerPresent")));
    const bool attached = isDebuggerPresent && isDebuggerPresent();
    FreeLibrary(kernel);
    return attached;
}

TraceSink* MakeSink() {
    HKEY key = OpenTracingKey();
    TraceSink* sink;
    if (!ReadTraceSwitch(key, "DoTrace", false))
        sink = new (std::nothrow) NullTraceSink;
    else if (ReadTraceSwitch(key, "TraceToFile", true))
        sink = new (std::nothrow) FileTraceSink;
    else if (DebuggerAttached())
        sink = new (std::nothrow) DebuggerTraceSink;
    else
        sink = new (std::nothrow) SilentTraceSink;
    if (key) RegCloseKey(key);
    return sink;
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

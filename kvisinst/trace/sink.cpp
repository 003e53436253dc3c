// Choosing the sink.
#include "kvisinst/trace/sink.h"

#include "kvisinst/trace/settings.h"
#include "kvisinst/trace/tracefile.h"

#include <new>

namespace {

TraceSink* g_sink = nullptr;

TraceSink* MakeSink() {
    const CRegKey key = OpenTracingKey();
    if (ReadTraceSwitch(key, "DoTrace", false) && ReadTraceSwitch(key, "TraceToFile", true))
        return new (std::nothrow) FileTraceSink;
    return new (std::nothrow) NullTraceSink;
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

// Where finished trace lines go: one sink per process, chosen at the first line written and kept
// until the library is unloaded.
#pragma once

#include "kvisinst/common/win32.h"

class TraceSink {
public:
    // line: zero-terminated, ending in a line feed.
    virtual void Write(const char* line) = 0;
    virtual ~TraceSink() = default;
};

// The sink that drops every line: "DoTrace" was off when the sink was made, or "TraceToFile" is 0.
// With the trace file switched off nothing leaves the process, not even to an attached debugger, so
// the three discarding sinks are one class under the names that say why each was chosen.
class NullTraceSink : public TraceSink {
public:
    void Write(const char*) override {}
};
using DebuggerTraceSink = NullTraceSink;  // "TraceToFile" 0, a debugger attached
using SilentTraceSink = NullTraceSink;    // "TraceToFile" 0, no debugger

// The process's sink, made on first use (call with the trace mutex held): reads "DoTrace" and
// "TraceToFile" afresh, and for a file sink opens the trace file. Null only when there was no memory
// for the sink; it is then tried again at the next line.
TraceSink* GetTraceSink();
// Hands a finished line to the sink. A null line is ignored.
void WriteTraceLine(const char* line);
// At unload: destroys the sink, closing its file.
void DestroyTraceSink();

// The trace calls that traced functions make. A traced function keeps a TraceScope on its stack for
// the length of its body: its construction writes the entry line, its destruction the exit line, on
// every way out of the function, an exception included. In between the function may write messages,
// and a function that returns an HRESULT passes it to TraceError just before returning it:
//
//     HRESULT CleanUp(char* edition) {
//         TraceScope scope("CleanUp");
//         TraceMessage(scope, nullptr, "edition %s", edition);
//         ...
//         TraceError(scope, "", hr, nullptr);
//         return hr;
//     }
//
// The calls report nothing and never change the caller's result. TraceEnter (and so a TraceScope's
// construction) can raise E_OUTOFMEMORY while it loads the trace settings.
#pragma once

#include "kvisinst/common/win32.h"

class TraceScope;

// Waits for the trace mutex on every call (tracing on or off), loads the settings at the first call
// of the process, fills the scope record and writes the entry line.
void TraceEnter(TraceScope& scope, const char* name, LONG level);
// Writes the exit line of a scope whose entry line was written. Never raises.
void TraceExit(TraceScope& scope) noexcept;
// Writes a free-text line: printf-style format (null or empty for an empty text), cut to 400
// characters. keyword may be null. Nothing is written with profiling on.
void TraceMessage(const TraceScope& scope, const char* keyword, const char* format, ...) noexcept
    __attribute__((format(printf, 3, 4)));
// Writes an error line for a negative code, with the system's (or module's) text for it; whatever the
// filters say. caption and module may be null.
void TraceError(const TraceScope& scope, const char* caption, LONG code, HMODULE module) noexcept;

// The record a traced function keeps on its stack. Filled only while tracing is on; no heap memory.
class TraceScope {
public:
    explicit TraceScope(const char* name, LONG level = 0) { TraceEnter(*this, name, level); }
    ~TraceScope() { TraceExit(*this); }
    TraceScope(const TraceScope&) = delete;
    TraceScope& operator=(const TraceScope&) = delete;

    // The function name cut to 99 characters, or "????" for a null name.
    char Name[100];
    // GetTickCount when the entry line was written with profiling on.
    DWORD StartTick;
    LONG Level;
};

// The trace settings: read once per load of the library from HKEY_LOCAL_MACHINE
// "SOFTWARE\Korvane\Tracing", at the first TraceEnter of the process.
#pragma once

#include "kvisinst/common/handle.h"
#include "kvisinst/trace/namefilter.h"

constexpr char kTracingKey[] = "SOFTWARE\\Korvane\\Tracing";

// The process-wide settings record (plain static data). Written only while it is loaded, under the
// trace mutex, and only read afterwards - except Depth, which the entry and exit lines move.
struct TraceSettings {
    bool Loaded;
    bool DoTrace;
    bool TraceEntryExit;
    bool PrintTime;
    bool PrintThreadId;
    bool DoProfiling;
    LONG Verbosity;
    DWORD IndentSize;
    char Delimiter[2];  // the character and a zero; empty for a character 0
    LONG Depth;         // one call depth for every thread of the process
    bool ComponentTraced;
    HMODULE Module;  // the library's own module, named by its file
};

extern TraceSettings g_traceSettings;
extern NameSet g_traceFunctions;
extern NameSet g_traceFunctionsNot;
extern NameSet g_traceKeywords;

// Process attach: empty name sets, the trace mutex created (or opened, when another process has
// it), settings not yet read. Process detach: the sink and its file closed, the mutex closed, the
// sets emptied. Each runs at most once per load.
void TraceProcessAttach(HMODULE module);
void TraceProcessDetach();

// The named trace mutex "__KV_TRACE_MUTEX__" that every process using this facility shares.
HANDLE TraceMutex();

// Loads the settings unless they are loaded. Called with the trace mutex held. Raises E_OUTOFMEMORY
// when a name can't be copied; the settings then stay unloaded and the next call loads again.
void EnsureTraceSettings();
// Destroys the sink and marks the settings unloaded.
void UnloadTraceSettings();

// Opens the Tracing key for reading; the holder is empty when it can't be opened.
CRegKey OpenTracingKey();
// Reads a numeric setting: RegQueryValueExA into a cleared 4-byte buffer, whatever the value's type;
// any value of at most 4 bytes is taken as its first four bytes. False (missing) when the read fails
// for any reason, the key being null among them.
bool ReadTraceDword(HKEY key, const char* name, DWORD* value);
// The on/off rule for a switch: a value whose default is on is on when missing or nonzero; one whose
// default is off is on only when present and nonzero.
bool ReadTraceSwitch(HKEY key, const char* name, bool defaultOn);

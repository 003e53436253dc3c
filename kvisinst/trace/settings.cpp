// Loading the trace settings, and the trace's part of process attach and detach.
#include "kvisinst/trace/settings.h"

#include "kvisinst/trace/sink.h"
#include "kvisinst/trace/tracefile.h"

TraceSettings g_traceSettings;
NameSet g_traceFunctions;
NameSet g_traceFunctionsNot;
NameSet g_traceKeywords;

namespace {

CKernelHandle g_traceMutex;
bool g_attached = false;

}  // namespace

void TraceProcessAttach(HMODULE module) {
    if (g_attached) return;
    g_attached = true;
    // A fresh load starts from nothing, as the static data of a newly mapped library does.
    g_traceSettings = TraceSettings{};
    g_traceSettings.Module = module;
    g_traceFunctions.Clear();
    g_traceFunctionsNot.Clear();
    g_traceKeywords.Clear();
    // Default security, not owned; an existing mutex of that name (another process's) is opened.
    g_traceMutex.Reset(CreateMutexA(nullptr, FALSE, "__KV_TRACE_MUTEX__"));
}

void TraceProcessDetach() {
    if (!g_attached) return;
    g_attached = false;
    UnloadTraceSettings();
    g_traceMutex.Reset();
    g_traceFunctions.Clear();
    g_traceFunctionsNot.Clear();
    g_traceKeywords.Clear();
}

HANDLE TraceMutex() { return g_traceMutex; }

CRegKey OpenTracingKey() {
    CRegKey key;
    key.Open(HKEY_LOCAL_MACHINE, kTracingKey, KEY_READ);
    return key;
}

bool ReadTraceDword(HKEY key, const char* name, DWORD* value) {
    if (!key) return false;
    BYTE data[4] = {0, 0, 0, 0};
    DWORD size = sizeof data;
    if (RegQueryValueExA(key, name, nullptr, nullptr, data, &size) != ERROR_SUCCESS) return false;
    *value = static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 | static_cast<DWORD>(data[2]) << 16 |
             static_cast<DWORD>(data[3]) << 24;
    return true;
}

bool ReadTraceSwitch(HKEY key, const char* name, bool defaultOn) {
    DWORD value = 0;
    if (!ReadTraceDword(key, name, &value)) return defaultOn;
    return value != 0;
}

void EnsureTraceSettings() {
    TraceSettings& s = g_traceSettings;
    if (s.Loaded) return;

    char component[MAX_PATH] = "";
    char modulePath[MAX_PATH] = "";
    GetModuleFileNameA(s.Module, modulePath, sizeof modulePath);
    modulePath[MAX_PATH - 1] = '\0';
    SplitModulePath(modulePath, nullptr, nullptr, component, nullptr);

    s.Depth = 0;
    // Closed on every way out of the load, the out-of-memory error included.
    const CRegKey key = OpenTracingKey();

    s.PrintTime = ReadTraceSwitch(key, "PrintTime", true);
    s.TraceEntryExit = ReadTraceSwitch(key, "TraceEntryExit", false);
    s.PrintThreadId = ReadTraceSwitch(key, "PrintThreadId", false);
    s.DoTrace = ReadTraceSwitch(key, "DoTrace", false);
    s.DoProfiling = ReadTraceSwitch(key, "DoProfiling", false);
    DWORD value = 0;
    s.Verbosity = ReadTraceDword(key, "Verbosity", &value) ? static_cast<LONG>(value) : 0;
    s.IndentSize = ReadTraceDword(key, "IndentSize", &value) ? value : 2;
    s.Delimiter[0] = ReadTraceDword(key, "Delimiter", &value) ? static_cast<char>(value & 0xFF) : ' ';
    s.Delimiter[1] = '\0';

    // The sets only grow while the library is loaded: a load that ran out of memory half way is
    // simply repeated by the next TraceEnter.
    FillNameSet(key, "Functions", g_traceFunctions);
    FillNameSet(key, "FunctionsNOT", g_traceFunctionsNot);
    FillNameSet(key, "Keywords", g_traceKeywords);

    s.ComponentTraced = EvaluateComponentLists(key, component);
    s.Loaded = true;
}

void UnloadTraceSettings() {
    DestroyTraceSink();
    g_traceSettings.Loaded = false;
}

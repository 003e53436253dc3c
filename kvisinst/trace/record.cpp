// The four trace calls and the text of each line.
#include "kvisinst/trace/trace.h"

#include "kvisinst/common/handle.h"
#include "kvisinst/trace/linebuffer.h"
#include "kvisinst/trace/namefilter.h"
#include "kvisinst/trace/settings.h"
#include "kvisinst/trace/sink.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Line limits, the terminating zero not counted.
constexpr size_t kEntryExitLineMax = 259;
constexpr size_t kMessageLineMax = 511;
constexpr size_t kMessageTextMax = 400;
constexpr size_t kErrorPartMax = 259;

// Holds the trace mutex for a scope, released on every way out, an exception included. The wait's
// result is not examined: an abandoned mutex is as good as a released one.
class CTraceLock {
public:
    CTraceLock() { WaitForSingleObject(TraceMutex(), INFINITE); }
    ~CTraceLock() { ReleaseMutex(TraceMutex()); }
    CTraceLock(const CTraceLock&) = delete;
    CTraceLock& operator=(const CTraceLock&) = delete;
};

void AppendIndentation(CLineBuffer& line) {
    // Only a non-negative product means anything; a huge one fills the line and is cut with it.
    const long long spaces = static_cast<long long>(static_cast<LONG>(g_traceSettings.IndentSize)) *
                             static_cast<long long>(g_traceSettings.Depth);
    line.AppendRepeated(' ', spaces);
}

// "%s()" or, with thread ids, "%s(0x%X)": "CleanUp()" or "CleanUp(0x1A4)". Lines are built by hand
// rather than with printf, which would cost more than the rest of a line's formatting together.
void AppendNamePart(CLineBuffer& line, const TraceScope& scope) {
    line.Append(scope.Name);
    if (g_traceSettings.PrintThreadId) {
        line.Append("(0x");
        line.AppendHex(static_cast<unsigned>(GetCurrentThreadId()));
        line.AppendChar(')');
    } else {
        line.Append("()");
    }
}

// Everything of a message or error line but its line feed (a null text: all but the text, which the
// caller formats in place).
void FormatTraceLine(const TraceScope& scope, const char* prefix, const char* text, CLineBuffer& line) {
    const TraceSettings& s = g_traceSettings;
    const bool insideScope = s.TraceEntryExit && s.Depth > 0;
    if (insideScope) AppendIndentation(line);
    if (prefix && *prefix) {
        line.Append(prefix);
        line.Append(s.Delimiter);
    }
    if (s.PrintTime) {
        // "%02d:%02d:%02d:%03d%s"
        SYSTEMTIME now;
        GetLocalTime(&now);
        line.AppendDecimal(now.wHour, 2);
        line.AppendChar(':');
        line.AppendDecimal(now.wMinute, 2);
        line.AppendChar(':');
        line.AppendDecimal(now.wSecond, 2);
        line.AppendChar(':');
        line.AppendDecimal(now.wMilliseconds, 3);
        line.Append(s.Delimiter);
    }
    // Inside a traced scope the indentation already says which function speaks.
    if (!(insideScope && scope.Level >= 0)) {
        AppendNamePart(line, scope);
        line.Append(s.Delimiter);
    }
    line.Append(text);
}

bool EntryExitTraced(const TraceScope& scope) {
    const TraceSettings& s = g_traceSettings;
    return s.ComponentTraced && scope.Level >= 0 && IsFunctionTraced(scope.Name) && s.TraceEntryExit &&
           s.Verbosity >= scope.Level;
}

// The lines of TraceExit, TraceMessage and TraceError are written out of line, so that those calls'
// tests with tracing off cost no stack frame.
__attribute__((noinline)) void WriteExitLine(TraceScope& scope) noexcept {
    TraceSettings& s = g_traceSettings;
    CTraceLock lock;
    if (!EntryExitTraced(scope)) return;
    if (s.Depth > 0) --s.Depth;

    char text[kEntryExitLineMax + 1];
    CLineBuffer line(text, kEntryExitLineMax - 1);
    AppendIndentation(line);
    line.Append("<<<");
    AppendNamePart(line, scope);
    if (s.DoProfiling) {
        const DWORD now = GetTickCount();
        line.Format("\t %d\t%d", static_cast<int>(now), static_cast<int>(now - scope.StartTick));
    }
    line.SetLimit(kEntryExitLineMax);
    line.AppendChar('\n');
    WriteTraceLine(line.Text());
}

__attribute__((noinline)) void WriteMessageLine(const TraceScope& scope, const char* keyword, const char* format,
                                                va_list arguments) noexcept {
    const TraceSettings& s = g_traceSettings;
    CTraceLock lock;
    if (!s.ComponentTraced) return;
    if (static_cast<long long>(s.Verbosity) < std::llabs(static_cast<long long>(scope.Level))) return;
    if (!IsKeywordTraced(keyword) || !IsFunctionTraced(scope.Name)) return;

    char text[kMessageLineMax + 1];
    CLineBuffer line(text, kMessageLineMax - 1);
    FormatTraceLine(scope, nullptr, nullptr, line);
    // The message is formatted in place at the end of the line, cut to its own limit first.
    if (format && *format) line.AppendFormatted(kMessageTextMax, format, arguments);
    line.SetLimit(kMessageLineMax);
    line.AppendChar('\n');
    WriteTraceLine(line.Text());
}

__attribute__((noinline)) void WriteErrorLine(const TraceScope& scope, const char* caption, LONG code,
                                              HMODULE module) noexcept {
    CTraceLock lock;

    const DWORD id = static_cast<DWORD>(code);
    // Freed however the line ends.
    CLocalMemory<char*> system;
    const DWORD first = FORMAT_MESSAGE_ALLOCATE_BUFFER | (module ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM);
    DWORD found = FormatMessageA(first, module, id, 0, reinterpret_cast<LPSTR>(system.Put()), 0, nullptr);
    if (found == 0 || !system.Get()) {
        // The other source: the system after a module, the program's own message table after the
        // system.
        const DWORD second =
            FORMAT_MESSAGE_ALLOCATE_BUFFER | (module ? FORMAT_MESSAGE_FROM_SYSTEM : FORMAT_MESSAGE_FROM_HMODULE);
        found = FormatMessageA(second, nullptr, id, 0, reinterpret_cast<LPSTR>(system.Put()), 0, nullptr);
    }

    char prefixText[kErrorPartMax + 1];
    CLineBuffer prefix(prefixText, kErrorPartMax);
    if (caption && *caption)
        prefix.Format("*ERR* %s", caption);
    else
        prefix.Append("*ERR*");

    char errorText[kErrorPartMax + 1];
    CLineBuffer text(errorText, kErrorPartMax);
    if (found != 0 && system.Get()) {
        char* end = std::strpbrk(system.Get(), "\r\n");
        if (end) *end = '\0';
        text.Format("%s (0x%X)", system.Get(), static_cast<unsigned>(id));
    } else {
        text.Format("unknown error code (0x%X)", static_cast<unsigned>(id));
    }

    char lineText[kMessageLineMax + 1];
    CLineBuffer line(lineText, kMessageLineMax - 1);
    FormatTraceLine(scope, prefix.Text(), text.Text(), line);
    line.SetLimit(kMessageLineMax);
    line.AppendChar('\n');
    WriteTraceLine(line.Text());
}

}  // namespace

void TraceEnter(TraceScope& scope, const char* name, LONG level) {
    CTraceLock lock;
    EnsureTraceSettings();
    TraceSettings& s = g_traceSettings;
    if (!s.DoTrace) return;

    CLineBuffer copy(scope.Name, sizeof scope.Name - 1);
    copy.Append(name ? name : "????");
    scope.Level = level;

    if (!s.ComponentTraced || level < 0) return;
    if (!EntryExitTraced(scope)) return;

    char text[kEntryExitLineMax + 1];
    CLineBuffer line(text, kEntryExitLineMax - 1);
    AppendIndentation(line);
    line.Append(">>>");
    AppendNamePart(line, scope);
    if (s.DoProfiling) {
        scope.StartTick = GetTickCount();
        line.Format("\t %d", static_cast<int>(scope.StartTick));
    }
    line.SetLimit(kEntryExitLineMax);
    line.AppendChar('\n');
    WriteTraceLine(line.Text());
    ++s.Depth;
}

void TraceExit(TraceScope& scope) noexcept {
    if (g_traceSettings.DoTrace) WriteExitLine(scope);
}

void TraceMessage(const TraceScope& scope, const char* keyword, const char* format, ...) noexcept {
    if (!g_traceSettings.DoTrace || g_traceSettings.DoProfiling) return;
    va_list arguments;
    va_start(arguments, format);
    WriteMessageLine(scope, keyword, format, arguments);
    va_end(arguments);
}

void TraceError(const TraceScope& scope, const char* caption, LONG code, HMODULE module) noexcept {
    if (g_traceSettings.DoTrace && code < 0) WriteErrorLine(scope, caption, code, module);
}

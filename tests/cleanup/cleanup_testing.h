// What the cleanup tests share: the trace switched on to a file of the machine, and its lines.
#pragma once

#include "trace/trace_testing.h"

#include <winsim/machine.h>

#include <algorithm>
#include <string>
#include <vector>

namespace cleanuptest {

// Tracing on to C:\trace.bin (entry and exit lines off, times on), read as a new process would.
inline void TraceOn(winsim::Machine& machine) {
    tracetest::SetDword("DoTrace", 1);
    tracetest::SetString("FileName", tracetest::kTraceFile);
    winsim::SetCurrent(nullptr);
    winsim::SetCurrent(&machine);
}

// How many trace lines end with `text` ("<function>() <message>" names the speaker).
inline size_t CountEndingWith(const std::vector<std::string>& lines, const std::string& text) {
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.size() >= text.size() && line.compare(line.size() - text.size(), text.size(), text) == 0;
    });
}

inline size_t CountContaining(const std::vector<std::string>& lines, const std::string& text) {
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

}  // namespace cleanuptest

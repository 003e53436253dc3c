// Chrome trace-event JSON (what Perfetto and chrome://tracing open) from the entry and exit lines
// that profiling gives tick counts: each function call becomes a slice on its thread's timeline.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class CChromeTraceWriter {
public:
    // Each input file is one process of the timeline, named after the file.
    void BeginProcess(std::string_view name);
    // Takes one decoded line (with or without its line end). Entry lines become "B" events, exit
    // lines "E" events, error lines instant events at the last time seen; lines without tick counts
    // (no profiling) and messages give nothing.
    void AddLine(std::string_view line);
    // The whole JSON document.
    std::string Finish() const;
    size_t EventCount() const { return events_; }

private:
    void AddEvent(const std::string& body);

    std::string json_;
    size_t events_ = 0;
    int process_ = 0;
    uint64_t lastMicroseconds_ = 0;
};

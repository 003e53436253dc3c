// Reading trace files: the header, the length-prefixed records, deciphering, and telling a whole
// record from a truncated or damaged one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class TraceStatus {
    Ok,         // every byte so far was a whole record (or the header)
    Truncated,  // the input ended inside a record
    Damaged,    // a record whose length or line ends the writer can't have written
    NotATrace,  // the input does not start like a trace file
};

// Decodes a trace file given in pieces, as it is read (or as it grows, when following it). Lines are
// handed over with CR LF turned back into LF.
class CTraceDecoder {
public:
    // Called with each line's text, ending in '\n'. The view lives until the call returns.
    using LineHandler = void (*)(void* context, std::string_view line);

    CTraceDecoder(LineHandler handler, void* context) : handler_(handler), context_(context) {}

    // Adds bytes and decodes every whole record they complete. Stops at the first damaged record,
    // or at the start when the input is not a trace; a record still incomplete waits for more.
    TraceStatus Feed(const unsigned char* data, size_t size);
    // The input is complete: an unfinished record is truncated.
    TraceStatus Finish();
    // Starts over, for a file that was recreated while it was followed.
    void Reset();

    // Byte offset of the first byte not yet decoded: the start of the truncated or damaged record
    // after a failure.
    uint64_t Offset() const { return offset_; }
    uint64_t RecordsDecoded() const { return records_; }

private:
    TraceStatus DecodeBuffered();

    LineHandler handler_;
    void* context_;
    std::vector<unsigned char> pending_;  // bytes received but not yet decoded
    uint64_t offset_ = 0;                 // file offset of pending_[0]
    uint64_t records_ = 0;
    bool started_ = false;  // the header question is settled
    TraceStatus status_ = TraceStatus::Ok;
};

// Whether a decoded line (without its line end) is an error line: "*ERR*" after the indentation.
bool IsErrorLine(std::string_view line);

// Appends a decoded line for printing. Its text is whatever the traced program formatted, control
// characters included; those are shown as \xHH so that a trace never drives the terminal, except
// tab, line feed and `kept` (the trace's "Delimiter", when the user names it; -1: none).
void AppendPrintable(std::string& out, std::string_view line, int kept);

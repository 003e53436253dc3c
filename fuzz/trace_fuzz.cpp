// libFuzzer target: bytes of any shape go through kvtrace's decoder, whole and in pieces. Besides not
// crashing, the two readings must agree (a file is read in chunks, and a followed one as it grows),
// and every line handed out must fit what the writer can write.
//
// Build: clang++ -std=c++17 -fsanitize=fuzzer,address,undefined -I. fuzz/trace_fuzz.cpp
//        tools/kvtrace/reader.cpp kvisinst/trace/cipher.cpp

#include "check.h"
#include "kvisinst/trace/traceformat.h"
#include "tools/kvtrace/reader.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using fuzzing::Check;

namespace {

struct Reading {
    std::vector<std::string> lines;
    TraceStatus status = TraceStatus::Ok;
    uint64_t offset = 0;
};

void Collect(void* context, std::string_view line) {
    // A record is at most 512 bytes; its line, with CR LF turned back into LF, is shorter still.
    Check(!line.empty() && line.size() < kTraceRecordMax && line.back() == '\n');
    static_cast<Reading*>(context)->lines.emplace_back(line);
}

Reading Read(const uint8_t* data, size_t size, size_t piece) {
    Reading reading;
    CTraceDecoder decoder(&Collect, &reading);
    TraceStatus status = TraceStatus::Ok;
    for (size_t at = 0; at < size && status == TraceStatus::Ok; at += piece)
        status = decoder.Feed(data + at, size - at < piece ? size - at : piece);
    reading.status = decoder.Finish();
    reading.offset = decoder.Offset();
    Check(reading.offset <= size);
    Check(reading.status != TraceStatus::Ok || reading.offset == size);
    return reading;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte chooses the piece size of the second reading.
    if (size == 0) return 0;
    const size_t piece = 1 + data[0] % 64;
    ++data;
    --size;
    const Reading whole = Read(data, size, size ? size : 1);
    const Reading pieces = Read(data, size, piece);
    Check(whole.status == pieces.status);
    Check(whole.offset == pieces.offset);
    Check(whole.lines == pieces.lines);
    return 0;
}

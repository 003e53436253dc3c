// The trace file's layout, shared by the library that writes it and the tools that read it.
//
// Numbers are little-endian. A file created fresh starts with the 8-byte header "trace1" CR LF; one
// created in append mode has none. Then one record per line: a 4-byte length L, then L enciphered
// bytes (cipher.h): the line with each LF turned into CR LF, no terminating zero. Every record ends
// in CR LF and is at most 512 bytes; each is enciphered on its own, from the same initial register.
#pragma once

#include <cstddef>

constexpr char kTraceFileHeader[] = "trace1\r\n";
constexpr size_t kTraceFileHeaderSize = 8;
constexpr size_t kTraceRecordMax = 512;

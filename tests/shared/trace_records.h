// One trace record as the library writes it and every reader must read it: its length and its
// enciphered bytes, worked out once by a separate small program from the cipher's description (TEA
// with the arithmetic shift, 8-byte cipher feedback, the key and initial register of cipher.cpp),
// not by the project's own cipher code. Five segments, the last one short, so that both the
// feedback and the short tail count; a reader that takes four segments at a time needs two turns.
// Shared by the host, kvtrace and Windows tests, with a plain reader of trace files.
#pragma once

#include "kvisinst/trace/cipher.h"
#include "kvisinst/trace/traceformat.h"

#include <string>
#include <vector>

// The message a traced function writes inside its scope, with entry and exit lines on and no time:
// two spaces of indentation, then the text; its line feeds become CR LF in the record.
inline constexpr char kKnownMessage[] = "known answer\nof the record cipher";
inline constexpr char kKnownLine[] = "  known answer\nof the record cipher\n";

inline constexpr unsigned char kKnownRecord[] = {
    0x26, 0x00, 0x00, 0x00,  // 38 bytes: the line's 36 and one more CR
    0x13, 0x0F, 0xDB, 0x51, 0x27, 0x17, 0xD3, 0x89, 0x8F, 0x43, 0x24, 0xD5, 0xE9,
    0x49, 0xA1, 0x7B, 0xC4, 0x39, 0xE7, 0xFE, 0x90, 0xE7, 0x0A, 0xD2, 0x87, 0x1E,
    0x7B, 0x4A, 0xD6, 0x8D, 0x0F, 0x3B, 0x0F, 0x9B, 0xA5, 0x4F, 0x11, 0xD7,
};

struct TraceRecords {
    bool header = false;
    std::vector<std::string> lines;  // each deciphered, CR LF as LF, without the final one
    bool whole = true;               // no bytes left over after the last record
};

// Reads a trace file's bytes with the cipher alone, independently of kvtrace.
inline TraceRecords ReadTraceRecords(const std::string& bytes) {
    TraceRecords file;
    file.header = bytes.compare(0, kTraceFileHeaderSize, kTraceFileHeader) == 0;
    size_t at = file.header ? kTraceFileHeaderSize : 0;
    while (bytes.size() - at >= 4) {
        const uint32_t length = LoadLe32(reinterpret_cast<const unsigned char*>(bytes.data() + at));
        if (length > kTraceRecordMax || bytes.size() - at - 4 < length) break;
        std::string record = bytes.substr(at + 4, length);
        DecipherTraceRecord(reinterpret_cast<unsigned char*>(&record[0]), record.size());
        std::string line;
        for (size_t i = 0; i < record.size(); ++i)
            if (record[i] != '\r' || i + 1 == record.size() || record[i + 1] != '\n') line += record[i];
        if (!line.empty() && line.back() == '\n') line.pop_back();
        file.lines.push_back(line);
        at += 4 + length;
    }
    file.whole = at == bytes.size();
    return file;
}

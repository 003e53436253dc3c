#include "reader.h"

#include "kvisinst/trace/cipher.h"
#include "kvisinst/trace/traceformat.h"

#include <cstring>

namespace {

// A deciphered record is a whole trace line when it ends in CR LF and has a CR before each of its
// LFs: the writer expands every LF so. What else the text holds is the traced program's business
// (a message may carry any control character, and the "Delimiter" setting may be one), so it does
// not count. The record lengths are not enciphered: a changed length puts the next record's start,
// and so its line end, in the wrong place.
bool IsWholeLine(const unsigned char* text, size_t length) {
    if (length < 2 || text[length - 2] != '\r' || text[length - 1] != '\n') return false;
    for (size_t i = 1; i < length; ++i)
        if (text[i] == '\n' && text[i - 1] != '\r') return false;
    return text[0] != '\n';
}

}  // namespace

void AppendPrintable(std::string& out, std::string_view line, int kept) {
    static const char kHex[] = "0123456789ABCDEF";
    for (const char c : line) {
        const unsigned char u = static_cast<unsigned char>(c);
        if ((u >= 0x20 && u != 0x7F) || u == '\t' || u == '\n' || u == kept) {
            out += c;
        } else {
            const char escaped[4] = {'\\', 'x', kHex[u >> 4], kHex[u & 15]};
            out.append(escaped, 4);
        }
    }
}

bool IsErrorLine(std::string_view line) {
    const size_t start = line.find_first_not_of(' ');
    return start != std::string_view::npos && line.substr(start, 5) == "*ERR*";
}

TraceStatus CTraceDecoder::Feed(const unsigned char* data, size_t size) {
    if (status_ != TraceStatus::Ok) return status_;
    pending_.insert(pending_.end(), data, data + size);
    return DecodeBuffered();
}

TraceStatus CTraceDecoder::Finish() {
    if (status_ != TraceStatus::Ok || pending_.empty()) return status_;
    // A file cut inside its header was a trace file too.
    const bool headerStart = pending_.size() < kTraceFileHeaderSize &&
                             std::memcmp(pending_.data(), kTraceFileHeader, pending_.size()) == 0;
    status_ = started_ || headerStart ? TraceStatus::Truncated : TraceStatus::NotATrace;
    return status_;
}

void CTraceDecoder::Reset() {
    pending_.clear();
    offset_ = 0;
    records_ = 0;
    started_ = false;
    status_ = TraceStatus::Ok;
}

TraceStatus CTraceDecoder::DecodeBuffered() {
    size_t at = 0;
    const size_t size = pending_.size();
    bool headerSeen = false;
    if (!started_) {
        // A fresh file starts with the header; a file made in append mode starts with a record.
        const size_t compared = size < kTraceFileHeaderSize ? size : kTraceFileHeaderSize;
        if (std::memcmp(pending_.data(), kTraceFileHeader, compared) == 0) {
            if (size < kTraceFileHeaderSize) return status_;
            at = kTraceFileHeaderSize;
            headerSeen = true;
        }
        started_ = headerSeen;
    }
    unsigned char record[kTraceRecordMax];
    char line[kTraceRecordMax];
    while (size - at >= 4) {
        const uint32_t length = LoadLe32(pending_.data() + at);
        const bool plausible = length >= 2 && length <= kTraceRecordMax;
        if (plausible && size - at - 4 < length) break;  // the rest has not arrived (yet)
        bool good = plausible;
        if (good) {
            std::memcpy(record, pending_.data() + at + 4, length);
            DecipherTraceRecord(record, length);
            good = IsWholeLine(record, length);
        }
        if (!good) {
            // Before the first whole record, nothing says this was ever a trace file.
            status_ = started_ ? TraceStatus::Damaged : TraceStatus::NotATrace;
            break;
        }
        started_ = true;
        size_t n = 0;
        for (uint32_t i = 0; i < length; ++i)
            if (!(record[i] == '\r' && i + 1 < length && record[i + 1] == '\n')) line[n++] = static_cast<char>(record[i]);
        ++records_;
        handler_(context_, std::string_view(line, n));
        at += 4 + length;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
    offset_ += at;
    return status_;
}

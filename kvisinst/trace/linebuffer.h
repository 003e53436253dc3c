// A trace line under construction in a fixed buffer on the stack. Everything appended is cut at the
// line's limit, and the buffer is always zero-terminated: an overlong name, caption or message makes
// a shorter line, never a write past the buffer.
#pragma once

#include "kvisinst/common/format.h"

#include <cstdarg>
#include <cstddef>
#include <cstring>

class CLineBuffer {
public:
    // limit: the most characters the buffer takes, its terminating zero not counted.
    CLineBuffer(char* buffer, size_t limit) : buffer_(buffer), limit_(limit) { buffer_[0] = '\0'; }

    void Append(const char* text) {
        if (!text) return;
        const size_t room = limit_ - length_;
        size_t n = std::strlen(text);
        if (n > room) n = room;
        std::memcpy(buffer_ + length_, text, n);
        length_ += n;
        buffer_[length_] = '\0';
    }

    void AppendChar(char c) {
        if (length_ >= limit_ || c == '\0') return;
        buffer_[length_++] = c;
        buffer_[length_] = '\0';
    }

    void AppendRepeated(char c, long long count) {
        for (; count > 0 && length_ < limit_; --count) buffer_[length_++] = c;
        buffer_[length_] = '\0';
    }

    void Format(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        va_list arguments;
        va_start(arguments, format);
        FormatTextV(buffer_ + length_, limit_ - length_ + 1, format, arguments);
        va_end(arguments);
        length_ += std::strlen(buffer_ + length_);
    }

    // The formatted text, itself cut to at most `most` characters, written straight into the line.
    // Counted up to its first zero, as a text copied in would be.
    void AppendFormatted(size_t most, const char* format, va_list arguments) {
        size_t room = limit_ - length_;
        if (room > most) room = most;
        if (AppendTexts(room, format, arguments)) return;
        FormatTextV(buffer_ + length_, room + 1, format, arguments);
        length_ += std::strlen(buffer_ + length_);
    }

    // The number in decimal, with leading zeros to at least minDigits digits ("%0*u").
    void AppendDecimal(unsigned value, int minDigits = 1) {
        char digits[16];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value);
        while (n < minDigits && n < 16) digits[n++] = '0';
        while (n > 0) AppendChar(digits[--n]);
    }

    // The number in upper-case hexadecimal without leading zeros ("%X").
    void AppendHex(unsigned value) {
        char digits[8];
        int n = 0;
        do {
            digits[n++] = "0123456789ABCDEF"[value & 0xF];
            value >>= 4;
        } while (value);
        while (n > 0) AppendChar(digits[--n]);
    }

    // Room is kept back for what must end the line whatever its length (its line feed).
    void SetLimit(size_t limit) { limit_ = limit; }

    size_t Length() const { return length_; }
    const char* Text() const { return buffer_; }

private:
    // Most messages are plain text or texts put together with "%s": those are copied here without the
    // C library's formatter, which would cost as much as the rest of the line. Any other conversion
    // leaves the line and the arguments untouched and returns false.
    bool AppendTexts(size_t room, const char* format, va_list arguments) {
        for (const char* p = std::strchr(format, '%'); p; p = std::strchr(p + 2, '%'))
            if (p[1] != 's' && p[1] != '%') return false;
        const size_t end = length_ + room;
        auto put = [&](const char* text, size_t n) {
            if (n > end - length_) n = end - length_;
            std::memcpy(buffer_ + length_, text, n);
            length_ += n;
        };
        for (const char* p = format; *p;) {
            const char* percent = std::strchr(p, '%');
            if (!percent) {
                put(p, std::strlen(p));
                break;
            }
            put(p, static_cast<size_t>(percent - p));
            if (percent[1] == '%') {
                put("%", 1);
            } else {
                const char* text = va_arg(arguments, const char*);
                if (!text) text = "(null)";  // as the C runtimes print a null string
                put(text, std::strlen(text));
            }
            p = percent + 2;
        }
        buffer_[length_] = '\0';
        return true;
    }

    char* buffer_;
    size_t limit_;
    size_t length_ = 0;
};

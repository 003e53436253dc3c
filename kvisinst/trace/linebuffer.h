// A trace line under construction in a fixed buffer on the stack. Everything appended is cut at the
// line's limit, and the buffer is always zero-terminated: an overlong name, caption or message makes
// a shorter line, never a write past the buffer.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
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
        const int n = std::vsnprintf(buffer_ + length_, limit_ - length_ + 1, format, arguments);
        va_end(arguments);
        if (n > 0) length_ += static_cast<size_t>(n) > limit_ - length_ ? limit_ - length_ : static_cast<size_t>(n);
        buffer_[length_] = '\0';
    }

    // Room is kept back for what must end the line whatever its length (its line feed).
    void SetLimit(size_t limit) { limit_ = limit; }

    size_t Length() const { return length_; }
    const char* Text() const { return buffer_; }

private:
    char* buffer_;
    size_t limit_;
    size_t length_ = 0;
};

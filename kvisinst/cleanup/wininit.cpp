#include "kvisinst/cleanup/wininit.h"

#include <cstring>

namespace {

constexpr size_t kHeaderLength = 10;
const char* const kHeaders[] = {"[rename]\r\n", "[Rename]\r\n", "[RENAME]\r\n"};

// The offset of the first occurrence of the 10-byte header in text[0, length), or length if none.
size_t FindHeader(const char* text, size_t length, const char* header) {
    for (size_t i = 0; i + kHeaderLength <= length; ++i)
        if (std::memcmp(text + i, header, kHeaderLength) == 0) return i;
    return length;
}

}  // namespace

size_t AddWinInitRenameLine(char* buffer, size_t oldSize, size_t capacity, const char* line, size_t lineLength,
                            size_t* insertedAt) {
    if (capacity < oldSize || capacity - oldSize < lineLength || capacity - oldSize - lineLength < kWinInitSpare)
        return 0;
    // The text ends at its first NUL, as the system's string search would see it.
    const char* const nul = static_cast<const char*>(std::memchr(buffer, '\0', oldSize));
    const size_t textLength = nul ? static_cast<size_t>(nul - buffer) : oldSize;

    for (const char* header : kHeaders) {
        const size_t match = FindHeader(buffer, textLength, header);
        if (match == textLength) continue;
        // Just after the header line's own line feed, the last of its 10 bytes.
        const size_t at = match + kHeaderLength;
        std::memmove(buffer + at + lineLength, buffer + at, oldSize - at);
        std::memcpy(buffer + at, line, lineLength);
        if (insertedAt) *insertedAt = at;
        return oldSize + lineLength;
    }

    size_t size = oldSize;
    if (insertedAt) *insertedAt = size;
    if (size > 0 && buffer[size - 1] != '\n') {
        buffer[size++] = '\r';
        buffer[size++] = '\n';
    }
    std::memcpy(buffer + size, kHeaders[0], kHeaderLength);
    size += kHeaderLength;
    std::memcpy(buffer + size, line, lineLength);
    return size + lineLength;
}

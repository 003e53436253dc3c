// The in-place edit of WinInit.Ini's "[rename]" section, as a pure function over the mapped bytes,
// so that it can be exercised on any file content.
#pragma once

#include <cstddef>

// Bytes beyond the file and the line that the edit may need: a "\r\n" to end an unterminated last
// line and the "[rename]\r\n" header.
constexpr size_t kWinInitSpare = 12;

// Adds `line` (lineLength bytes, ending in "\r\n") to the "[rename]" section of the file text in
// buffer[0, oldSize). buffer holds `capacity` bytes; capacity must be at least
// oldSize + lineLength + kWinInitSpare, else nothing is changed and 0 is returned.
//
// The section header is searched for as "[rename]\r\n", then "[Rename]\r\n", then "[RENAME]\r\n", in
// the text up to its first NUL byte (or oldSize). Another casing, or a header followed by a bare line
// feed, is not recognised. When a header is found the line goes directly under it (it becomes the
// section's first line): the bytes behind the header move lineLength further. Otherwise a new section
// is appended at the end: "\r\n" first when the text is not empty and its last byte is not a line
// feed (so the header does not join the last line), then "[rename]\r\n", then the line.
//
// Every original byte is kept, in order: the result is the input with one block inserted at
// *insertedAt (when given). Returns the new size: oldSize + lineLength, + 10 for an appended header,
// + 2 more for the line break before it.
size_t AddWinInitRenameLine(char* buffer, size_t oldSize, size_t capacity, const char* line, size_t lineLength,
                            size_t* insertedAt = nullptr);

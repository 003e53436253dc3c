// The fields of one request in the registry install queue, split out of the value's text: a pure
// function over a caller-owned buffer (no system calls), so that the splitting can be exercised on any
// input.
//
// A request is up to five fields separated by ',' or ';': the INF name, the source directory, the main
// section, the section before it and the section after it. Delimiters before the first field are
// skipped and a run of them separates like one, so no field is ever empty and a field can only be given
// when every field before it is. The fifth field ends at the next delimiter; what follows it is
// ignored. Blanks are no delimiters: they stay part of their field.
#pragma once

constexpr int kQueueEntryFields = 5;

// Splits the NUL-terminated `text` in place: each delimiter that ends a field becomes a NUL. fields[i]
// points at the i-th field inside `text`, or is null when the text has fewer fields; nothing is read
// past the text's terminator and nothing written beyond it.
void SplitQueueEntry(char* text, char* fields[kQueueEntryFields]);

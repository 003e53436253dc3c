// The syntax of the file lists that CDllList walks, as pure functions over caller-owned buffers (no
// system calls), so that the parser can be exercised on any input.
//
// A list text is file names separated by single blanks; a trailing blank is allowed. Each name may
// begin with prefix characters in any number and order: '-' unregister the file but keep it, '~'
// remove it without unregistering it, both: neither (the entry is only traced and announced). A name
// may be enclosed in double quotes, so that blanks inside it do not split it.
#pragma once

#include <cstddef>

// Turns a list text into its parsed form, in place: each blank outside quotes becomes a NUL, and one
// more NUL is written after the text's own terminator, so the buffer becomes NUL-terminated entries
// closed by an empty entry. The buffer must hold strlen(text) + 2 bytes. An empty entry ends the list,
// so a leading blank or two blanks in a row end it there. Quote characters stay in the text.
// Returns false when a double quote has no closing partner; the rest of the text is then left as it
// was (still closed by the two NULs).
bool ParseFileList(char* text);

// The next entry of a parsed list (the one after `entry`'s terminator); an empty entry ends the list.
inline const char* NextFileListEntry(const char* entry) {
    while (*entry) ++entry;
    return entry + 1;
}

// Skips the prefix characters at the start of an entry and says what they ask for: each '-' clears
// *remove, each '~' clears *unregister (both start true). Returns the name behind the prefixes.
const char* SkipFileListPrefixes(const char* entry, bool* remove, bool* unregister);

// Writes directory + "\" + name into `path` (size bytes, NUL included), with the quote characters of
// the name dropped: a quoted name stands for the file name between its quotes. Returns false, and
// leaves `path` an empty string, when the result would not fit.
bool JoinFileListPath(char* path, size_t size, const char* directory, const char* name);

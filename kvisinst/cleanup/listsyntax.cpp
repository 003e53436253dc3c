#include "kvisinst/cleanup/listsyntax.h"

#include <cstring>

bool ParseFileList(char* text) {
    char* p = text;
    bool closed = true;
    while (*p) {
        if (*p == '"') {
            char* const closing = std::strchr(p + 1, '"');
            if (!closing) {
                closed = false;
                break;
            }
            p = closing + 1;
            continue;
        }
        if (*p == ' ') *p = '\0';
        ++p;
    }
    // The closing empty entry, right after the text's own terminator.
    p += std::strlen(p);
    p[1] = '\0';
    return closed;
}

const char* SkipFileListPrefixes(const char* entry, bool* remove, bool* unregister) {
    *remove = true;
    *unregister = true;
    for (;; ++entry) {
        if (*entry == '-')
            *remove = false;
        else if (*entry == '~')
            *unregister = false;
        else
            return entry;
    }
}

bool JoinFileListPath(char* path, size_t size, const char* directory, const char* name) {
    const size_t directoryLength = std::strlen(directory);
    size_t used = 0;
    auto put = [&](char c) {
        if (used + 1 >= size) return false;
        path[used++] = c;
        return true;
    };
    bool fits = size > 0;
    for (size_t i = 0; fits && i < directoryLength; ++i) fits = put(directory[i]);
    if (fits) fits = put('\\');
    for (; fits && *name; ++name)
        if (*name != '"') fits = put(*name);
    if (size > 0) path[fits ? used : 0] = '\0';
    return fits;
}

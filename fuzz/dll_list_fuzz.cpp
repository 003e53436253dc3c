// libFuzzer target: any text goes through the file-list parser, the prefix scan and the path join.
// The parse may only turn blanks outside quotes into NULs and must close the list with two NULs; the
// walk over the parsed entries must stay inside the buffer; a joined path never exceeds its buffer.
//
// Build: clang++ -std=c++17 -fsanitize=fuzzer,address,undefined -I. fuzz/dll_list_fuzz.cpp
//        kvisinst/cleanup/listsyntax.cpp

#include "check.h"
#include "kvisinst/cleanup/listsyntax.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using fuzzing::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The list is a C string: it ends at the first NUL.
    std::string text(reinterpret_cast<const char*>(data), size);
    text.resize(std::strlen(text.c_str()));
    std::vector<char> buffer(text.size() + 2, '\x7f');
    std::memcpy(buffer.data(), text.c_str(), text.size() + 1);
    const bool closed = ParseFileList(buffer.data());

    Check(buffer[text.size()] == '\0' && buffer[text.size() + 1] == '\0');
    bool inQuotes = false;
    size_t quotes = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') {
            inQuotes = !inQuotes;
            ++quotes;
        }
        if (buffer[i] == text[i]) continue;
        // The only change: a blank outside quotes, before an unterminated quote if there is one.
        Check(text[i] == ' ' && buffer[i] == '\0' && !inQuotes);
    }
    Check(closed == (quotes % 2 == 0));
    if (!closed) return 0;

    const char directory[] = "C:\\WINDOWS\\SYSTEM";
    for (const char* entry = buffer.data(); *entry; entry = NextFileListEntry(entry)) {
        Check(entry >= buffer.data() && entry < buffer.data() + text.size());
        bool remove = false;
        bool unregister = false;
        const char* name = SkipFileListPrefixes(entry, &remove, &unregister);
        Check(*name != '-' && *name != '~');
        char path[260];
        std::memset(path, 'x', sizeof path);
        const bool fits = JoinFileListPath(path, sizeof path, directory, name);
        const size_t length = strnlen(path, sizeof path);
        Check(length < sizeof path);
        Check(fits ? std::strncmp(path, directory, std::strlen(directory)) == 0 && !std::strchr(path, '"')
                   : length == 0);
    }
    return 0;
}

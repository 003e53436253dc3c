// libFuzzer target: any text goes through the splitting of a queued install request into its fields.
// The split may only turn delimiters that end a field into NULs, never past the fifth field; the fields
// are the text's first runs of non-delimiters, in order, each whole and non-empty; after the last one
// given, every field is null.
//
// Build: clang++ -std=c++17 -fsanitize=fuzzer,address,undefined -I. fuzz/queue_entry_fuzz.cpp
//        kvisinst/install/queueentry.cpp

#include "check.h"
#include "kvisinst/install/queueentry.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using fuzzing::Check;

namespace {

bool IsDelimiter(char c) { return c == ',' || c == ';'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The request's text ends at its first NUL, as the drain hands it over.
    std::string text(reinterpret_cast<const char*>(data), size);
    text.resize(std::strlen(text.c_str()));
    // Exactly the text and its terminator, so that AddressSanitizer sees any read or write past them.
    std::vector<char> buffer(text.c_str(), text.c_str() + text.size() + 1);
    char* fields[kQueueEntryFields];
    SplitQueueEntry(buffer.data(), fields);

    // Where each run of non-delimiters starts in the original text, and where it ends.
    std::vector<size_t> starts;
    std::vector<size_t> ends;
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsDelimiter(text[i])) continue;
        if (i == 0 || IsDelimiter(text[i - 1])) starts.push_back(i);
        if (i + 1 == text.size() || IsDelimiter(text[i + 1])) ends.push_back(i + 1);
    }
    const size_t given = starts.size() < kQueueEntryFields ? starts.size() : kQueueEntryFields;
    for (size_t f = 0; f < kQueueEntryFields; ++f) {
        if (f >= given) {
            Check(fields[f] == nullptr);
            continue;
        }
        Check(fields[f] == buffer.data() + starts[f]);
        Check(std::strlen(fields[f]) == ends[f] - starts[f]);
    }
    // Only the delimiter right after each given field may have become a NUL.
    for (size_t i = 0; i < text.size(); ++i) {
        bool endsField = false;
        for (size_t f = 0; f < given; ++f) endsField = endsField || i == ends[f];
        Check(buffer[i] == (endsField ? '\0' : text[i]));
    }
    Check(buffer[text.size()] == '\0');
    return 0;
}

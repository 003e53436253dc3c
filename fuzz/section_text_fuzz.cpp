// libFuzzer target: arbitrary text through the "[section] key=value" reader that the machine
// folder's text files share. What it reads, written back plainly, reads again to the same sections,
// keys and values; line numbers rise through the file; a fault names a line of the text.
#include <winsim/text.h>
#include "check.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using fuzzing::Check;

namespace {

bool SameEntries(const winsim::TextSection& a, const winsim::TextSection& b) {
    if (a.name != b.name || a.entries.size() != b.entries.size()) return false;
    for (size_t i = 0; i < a.entries.size(); ++i)
        if (a.entries[i].key != b.entries[i].key || a.entries[i].value != b.entries[i].value) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    int lines = 1;
    for (char c : text) lines += c == '\n';
    std::string error;
    const auto sections = winsim::ReadSectionText(text, &error);
    if (!sections) {
        Check(error.rfind("line ", 0) == 0, "an error names no line");
        const int line = std::atoi(error.c_str() + 5);
        Check(line >= 1 && line <= lines, "an error names a line the text does not have");
        return 0;
    }
    std::string written;
    int last = 0;
    for (const auto& section : *sections) {
        Check(section.line > last && section.line <= lines, "a section's line is out of order");
        last = section.line;
        written += "[" + section.name + "]\n";
        for (const auto& entry : section.entries) {
            Check(entry.line > last && entry.line <= lines, "an entry's line is out of order");
            last = entry.line;
            written += entry.key + "=" + entry.value + "\n";
        }
    }
    const auto again = winsim::ReadSectionText(written, &error);
    Check(again && again->size() == sections->size(), "the written text reads differently");
    for (size_t i = 0; i < again->size(); ++i)
        Check(SameEntries((*again)[i], (*sections)[i]), "a written section reads differently");
    return 0;
}

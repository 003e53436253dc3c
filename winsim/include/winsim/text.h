// Text helpers that winsim's parts and tools share: names compared without regard to case, and the
// reader of the machine folder's "[section] key=value" files.
//
// Names here are compared by their ASCII letters, as the simulated machines' file systems, service
// manager, device tree and loader compare the names this project uses. The registry and the INF
// reader compare by the letters of code page 1252, as Windows does there (registry_internal.h,
// inf_parser.h; the INF reader's copy lets it build alone into its fuzz target).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

std::string UpperAscii(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);

// The text files of a machine folder (services.txt, devices.txt, ...) share one syntax:
//
//   ; a comment (also '#'), and blank lines, are skipped
//   [section name]
//   key=value
//
// Blanks around a section's name, a key and a value are dropped; a value runs to the end of its line
// and may hold '=' and ';'. Each file gives sections and keys its own meaning; this reader checks
// only the syntax. Every section and entry keeps its line number, so that a file's own checks can
// name the line of a fault as the reader does.
struct TextEntry {
    std::string key;
    std::string value;
    int line = 0;
};

struct TextSection {
    std::string name;
    int line = 0;
    std::vector<TextEntry> entries;
};

// The sections in file order; nothing, and "line N: fault" in `error`, for damaged text (a header
// without its ']' or without a name, a line without '=', a key=value line before the first section).
std::optional<std::vector<TextSection>> ReadSectionText(std::string_view text, std::string* error);

// "line N: what", the form every file's errors take.
std::string TextError(int line, std::string_view what);

}  // namespace winsim

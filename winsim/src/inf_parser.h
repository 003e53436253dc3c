// INF text as SetupAPI reads it: sections of lines, each line an optional key and its fields.
//
// The reader follows the INF syntax of Windows 95 to 2000: section names in brackets (compared
// without regard to case, and a name used twice continues the earlier section), ';' comments outside
// quotes, double-quoted text ("" inside quotes stands for one quote), ',' between fields, key=value
// with '=' outside quotes, blanks trimmed around fields, '\' at the end of a line joining the next,
// and %strkey% references resolved from [Strings]. It has no dependency on the simulated machine, so
// that the fuzz target can drive it alone; directory ids (%10%, %11%...) come from the caller.
#pragma once

#include <winsim/types.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace winsim {

// SetupAPI's own limits. A section name longer than kInfMaxSectionName refuses the whole file; a
// field longer than kInfMaxField is cut (512 characters with its NUL, as the Strings section's
// documentation states); a string built by %strkey% substitution is cut at kInfMaxString.
constexpr size_t kInfMaxSectionName = 255;
constexpr size_t kInfMaxField = 511;
constexpr size_t kInfMaxString = 4096;

struct InfLine {
    // Field 0. A line has a key when '=' stands outside quotes before any ','. A line holding a single
    // value and no '=' answers to that value as its key too, as SetupAPI's lookups by key find it.
    bool hasKey = false;
    std::string key;
    // Fields 1..n. Every line has at least one, possibly empty ("key=" has one empty field).
    std::vector<std::string> fields;
};

struct InfSection {
    std::string name;  // as spelled by its first header
    std::vector<InfLine> lines;
};

struct InfDocument {
    std::vector<InfSection> sections;  // in order of first appearance
    // The syntax error that stopped reading (ERROR_BAD_SECTION_NAME_LINE, ERROR_SECTION_NAME_TOO_LONG)
    // and its 1-based line, or 0.
    DWORD error = 0;
    UINT errorLine = 0;
    // The first line holding text before any section header, or 0. SetupAPI refuses such a file only
    // when it has no [Strings] section, so the judgement is left to the caller.
    UINT strayLine = 0;

    // Index of the section with that name, compared without regard to case; -1 when there is none.
    int FindSection(std::string_view name) const;
    // Adds a section or returns the index of the existing one of that name.
    int AddSection(std::string_view name);

private:
    std::unordered_map<std::string, int> index_;  // folded name -> position in sections
};

// Parses ANSI INF text. Reading stops at the first Ctrl-Z (the old end-of-file mark); NUL bytes read
// as blanks; lines end with LF or CR LF. The result holds the fields as written, quotes removed and
// nothing substituted yet.
InfDocument ParseInf(std::string_view text);

// Resolves a directory id (the number in %10%) to its path, or nothing for an id it does not know.
using InfDirIdLookup = std::function<std::optional<std::string>(long dirId)>;

// The [Strings] section of a parsed file, by key.
class CInfStrings {
public:
    explicit CInfStrings(const InfDocument& document);
    // The value of a string key (compared without regard to case): the first field of the first line
    // with that key, as written. Nothing when the key is not defined.
    const std::string* Find(std::string_view key) const;

private:
    std::unordered_map<std::string, std::string> values_;
};

// Substitutes every %strkey% in one field: "%%" gives '%', a [Strings] key gives its value (values are
// not substituted again), a number gives that directory id's path, anything else stays as written,
// percent signs included. A directory path ending in '\' loses that '\' when one follows the
// reference, so "%24%\x" gives "C:\x". The result is cut at kInfMaxString characters.
std::string ExpandInfString(std::string_view raw, const CInfStrings& strings, const InfDirIdLookup& dirIds);

// A copy of the document with every key and field substituted.
InfDocument ExpandInf(const InfDocument& raw, const InfDirIdLookup& dirIds);

// Case folding used for section names, keys and string keys: ASCII and the letters of the Windows
// ANSI code page 1252, which is what winsim's ANSI calls use.
char FoldInfChar(char c);
std::string FoldInfName(std::string_view text);
bool InfNamesEqual(std::string_view a, std::string_view b);

}  // namespace winsim

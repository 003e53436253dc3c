// Comparing two scenario dumps (a simulated machine's and a real Windows' or Wine's) line by line,
// with the known deviations of Wine from Windows excused.
#pragma once

#include <string>
#include <vector>

namespace scenario {

// One entry of the known-deviations file: "SCENARIO | PATTERN | REASON" on a line, SCENARIO a
// scenario's name or *, PATTERN a dump line with * (any run of characters) and ? (any one).
struct Deviation {
    int line = 0;
    std::string scenario, pattern, reason;
};

// Parses the file's text; '#' starts a comment line. False with "line N: reason" for a bad entry.
bool ParseDeviations(const std::string& text, std::vector<Deviation>* out, std::string* error);

bool GlobMatches(const std::string& pattern, const std::string& text);

struct DiffLine {
    char side;  // '-': only in the first dump, '+': only in the second
    std::string text;
    const Deviation* excused = nullptr;
};

// The lines that differ, in the order of the dumps (a longest common subsequence kept in place),
// each with the deviation that excuses it, if one does.
std::vector<DiffLine> CompareDumps(const std::string& first, const std::string& second,
                                   const std::vector<Deviation>& deviations);

// "scenario NAME" from a dump's first line; "" when it has none.
std::string DumpScenarioName(const std::string& dump);

}  // namespace scenario

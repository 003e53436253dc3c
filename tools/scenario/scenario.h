// Scenario files: the starting state of a machine, the library calls to make on it, and what of its
// state to capture afterwards. The same file runs on a simulated machine (kvsim scenario) and on a
// real Windows (kvscenario.exe); both write the same dump. README.md ("Scenarios") gives the format.
#pragma once

#include <string>
#include <vector>

namespace scenario {

// One line of a section, split into words (a word in double quotes may hold blanks; "" inside it is
// one quote). `verb` is the first word; for a call, the export's name.
struct Step {
    int line = 0;
    std::string verb;
    std::vector<std::string> args;
};

struct Scenario {
    std::string name;           // the file's name without its folder and ".scn"
    std::string folder;         // the file's folder, for `copy` sources; "" for the current one
    std::vector<Step> state;    // [state]
    std::vector<Step> calls;    // [calls]
    std::vector<Step> capture;  // [capture]
};

// Splits a line into words as the format says; false with the reason for an unclosed quote.
bool SplitWords(const std::string& line, std::vector<std::string>* words, std::string* error);

// Parses and checks a scenario's text: every verb, its number of words, value types and data, the
// exports and their arguments. False with "line N: reason" for the first fault.
bool ParseScenario(const std::string& text, Scenario* out, std::string* error);

// Reads and parses FILE; false with "FILE: reason" (the line named) when it cannot.
bool LoadScenario(const std::string& file, Scenario* out, std::string* error);

// The path tokens a scenario may use: %WINDIR%, %SYSTEM%, %PROGRAMFILES%, %COMMONPROGRAMS%.
struct PathTokens {
    std::vector<std::pair<std::string, std::string>> folders;  // token, the machine's folder
    // The token's folder in place of each token.
    std::string Expand(const std::string& text) const;
    // Each of the machine's folders (longest first, letter case ignored) written as its token.
    std::string Tokenize(const std::string& text) const;
};

}  // namespace scenario
